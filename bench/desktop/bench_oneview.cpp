// The smallest program with one web view showing a page: the yardstick for
// the client's memory at rest.
#include <QApplication>
#include <QWebEngineView>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QWebEngineView view;
    view.setHtml(QStringLiteral("<html><body><p>one view</p></body></html>"));
    view.resize(800, 600);
    view.show();
    return app.exec();
}
