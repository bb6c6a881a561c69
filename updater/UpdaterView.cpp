#include "updater/UpdaterView.h"

#include "appcenter/core/DownloadFormat.h"

namespace UpdaterView {

QString title()
{
    return QStringLiteral("客户端更新");
}

QString versionText(const QString &version)
{
    return QStringLiteral("正在更新到 %1 版").arg(version);
}

QString stateText(UpdateFlow::State state)
{
    switch (state) {
    case UpdateFlow::State::Idle:
    case UpdateFlow::State::WaitingForClient:
        return QStringLiteral("正在等待客户端退出…");
    case UpdateFlow::State::Downloading:
        return QStringLiteral("正在下载更新包…");
    case UpdateFlow::State::Verifying:
        return QStringLiteral("正在校验更新包…");
    case UpdateFlow::State::Unpacking:
        return QStringLiteral("正在解压更新包…");
    case UpdateFlow::State::Installing:
        return QStringLiteral("正在安装新版本…");
    case UpdateFlow::State::StartingClient:
        return QStringLiteral("正在启动新版本…");
    case UpdateFlow::State::Done:
        return QStringLiteral("更新完成");
    case UpdateFlow::State::Failed:
        return QStringLiteral("更新未能完成");
    }
    return QString();
}

QString amountText(qint64 received, qint64 total, qint64 bytesPerSecond)
{
    if (total <= 0)
        return QString();
    QString text = QStringLiteral("%1 / %2").arg(formatSize(received, false), formatSize(total, false));
    if (bytesPerSecond > 0 && received < total)
        text += QStringLiteral("   ") + formatSize(bytesPerSecond, true);
    return text;
}

QString remainingText(qint64 seconds)
{
    if (seconds < 0)
        return QString();
    return QStringLiteral("剩余时间 %1").arg(formatTime(seconds));
}

} // namespace UpdaterView
