// Writes Qt's own qwebchannel.js to the path given.
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QWebChannel>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvane-webchannel-js OUTPUT\n");
        return 2;
    }
    // Uses the library, so that its resources are loaded.
    QWebChannel channel;
    QFile source(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "orvane-webchannel-js: Qt's qwebchannel.js is not available\n");
        return 1;
    }
    QSaveFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(source.readAll()) < 0 || !out.commit()) {
        std::fprintf(stderr, "orvane-webchannel-js: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
