#pragma once

#include <QString>
#include <QVector>

// The seven wallpapers the settings dialog offers: which button shows which
// thumbnail and which full-size picture of the "BkImage" folder it stands
// for. No widgets here.
namespace WallpaperChoice {

struct Picture
{
    QString button;    // object name of its thumbnail button
    QString thumbnail; // resource of the thumbnail
    QString file;      // full-size picture, relative to the picture folder
};

// In the dialog's order: mountain, evening, star, lotus, sea, strawberry, dog.
const QVector<Picture> &pictures();

// The application folder, with forward slashes, + "/BkImage".
QString pictureFolder();

// Full path of the picture of the given button; empty for any other name.
QString picturePath(const QString &folder, const QString &button);

// The thumbnail button's look: the thumbnail, and the selection frame over
// it while hovered or pressed.
QString thumbnailStyleSheet(const QString &thumbnail);

// What the desktop says when the system refused the picture.
QString failedTitle();
QString failedText();

} // namespace WallpaperChoice
