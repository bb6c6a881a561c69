#pragma once

#include "updater/core/UpdateFlow.h"

#include <QString>

// The texts of the updater's window for a state of the flow.
namespace UpdaterView {

QString title();
QString versionText(const QString &version);
QString stateText(UpdateFlow::State state);
// "12 MB / 80 MB   3 MB/S" while downloading; empty before the length is known.
QString amountText(qint64 received, qint64 total, qint64 bytesPerSecond);
// "剩余时间 1m 5s"; empty while unknown.
QString remainingText(qint64 seconds);

} // namespace UpdaterView
