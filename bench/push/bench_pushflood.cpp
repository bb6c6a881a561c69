// Push flood: memory of the client while a burst of notices arrives, each
// one handled as the desktop window handles it (its pop-up, bounded by
// PushPopups, and its line in the push log). Prints the resident memory
// before and after and the peak growth; with --unbounded, one pop-up per
// notice instead, for comparison.
//
//   bench_pushflood [notices] [--unbounded]   (default 2000; needs a display
//                                              or QT_QPA_PLATFORM=offscreen)

#include "core/AppPaths.h"
#include "push/PushPopups.h"
#include "push/QAcceptMsgWidget.h"
#include "push/core/PushConnection.h"
#include "tests/support/PeakMemory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QString notice(int i)
{
    const QJsonObject data{{"uuid", QString::number(i)},
                           {"title", QStringLiteral("维护通知 %1").arg(i)},
                           {"content", QStringLiteral("今晚十点起停机一小时。").repeated(4)}};
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"alias", "lumiqPushNotice"},
                                                       {"uuid", QStringLiteral("m%1").arg(i)},
                                                       {"data", data}})
                                 .toJson(QJsonDocument::Compact));
}

double mib(qint64 bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int notices = 2000;
    bool unbounded = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--unbounded")
            unbounded = true;
        else
            notices = qMax(1, QByteArray(argv[i]).toInt());
    }
    QTemporaryDir appDir;
    AppPaths::setAppDirPathOverride(appDir.path());

    // Warm up what every pop-up shares (styles, pictures, fonts).
    {
        QAcceptMsgWidget warm(notice(0));
        warm.show();
        QApplication::processEvents();
    }
    PeakMemory peak;
    const qint64 before = PeakMemory::resident();
    PushPopups popups;
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= notices; ++i) {
        const QString text = notice(i);
        if (unbounded) {
            auto *popup = new QAcceptMsgWidget(text);
            popup->setAttribute(Qt::WA_DeleteOnClose);
            popup->moveToCorner();
            popup->show();
        } else {
            popups.show(text);
        }
        PushConnection::appendLog(QStringLiteral("u1001"), PushConnection::pushedText());
        if (i % 50 == 0)
            QApplication::processEvents();
    }
    QApplication::processEvents();
    const qint64 after = PeakMemory::resident();
    int windows = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QAcceptMsgWidget *>(w) && w->isVisible())
            ++windows;
    std::printf("bench_pushflood: %d notices (%s) in %.1f s\n", notices,
                unbounded ? "one pop-up each" : "bounded pop-ups", clock.elapsed() / 1000.0);
    std::printf("  pop-ups on screen: %d%s\n", windows,
                unbounded ? "" : qPrintable(QStringLiteral(" (summary: %1)").arg(popups.summed())));
    std::printf("  resident memory: %.1f MiB before, %.1f MiB after, growth %.1f MiB\n", mib(before),
                mib(after), mib(after - before));
    if (peak.available())
        std::printf("  peak growth: %.1f MiB\n", mib(peak.growth()));
    return 0;
}
