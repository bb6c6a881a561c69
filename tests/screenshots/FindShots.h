#pragma once

#include <QImage>
#include <QList>
#include <QString>

#include <functional>

class QWidget;

// Where the desktop's search, "常用" and keyboard shots go: the program's
// own saving, painting on the wallpaper and failure reporting.
struct ShotSink
{
    std::function<void(const QString &name, const QImage &image)> save;
    std::function<QImage(const QList<QWidget *> &windows)> onDesktop;
    std::function<void(const QString &why)> fail;
};

// The demo user's desktop with the search open with results (by part of a
// name and by pinyin initials), the "常用" tab with pinned and recently
// launched applications, and an icon holding the keyboard focus.
void desktopFindShots(const ShotSink &sink);
