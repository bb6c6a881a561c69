#pragma once

#include <QString>

// Texts and figures of a download row.

// "512 B", "3 KB", "7 MB", "2 GB" by powers of 1024, truncated; "/S"
// after the unit when perSecond ("512 KB/S"). 0 and less: "0 B".
QString formatSize(qint64 bytes, bool perSecond);

// "0s", "59s", "1m 5s", "2h", "1h 2m 5s", "1d 1h 1m 1s": each part only
// when it is not 0.
QString formatTime(qint64 seconds);

// A progress bar holds int values; files beyond that range are shown in
// proportion. total <= 0 (unknown) gives maximum 0: a busy bar.
struct ProgressScale
{
    int maximum = 0;
    int value = 0;
};
ProgressScale progressScale(qint64 received, qint64 total);

// Style sheet that shows the picture at path over the whole label.
QString pictureStyle(const QString &path);

// "下载完成   yyyy/MM/dd hh:mm:ss" for a finished row.
class QDateTime;
QString finishedText(const QDateTime &when);
