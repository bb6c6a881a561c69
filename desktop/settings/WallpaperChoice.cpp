#include "desktop/settings/WallpaperChoice.h"

#include "core/AppPaths.h"

#include <QDir>

namespace WallpaperChoice {

const QVector<Picture> &pictures()
{
    static const QVector<Picture> list{
        {QStringLiteral("mountainButton"), QStringLiteral(":/QOrvaneDesk/image/mountain.png"), QStringLiteral("/mountain_max.jpg")},
        {QStringLiteral("eveningButton"), QStringLiteral(":/QOrvaneDesk/image/evening.png"), QStringLiteral("/evening_max.jpg")},
        {QStringLiteral("starButton"), QStringLiteral(":/QOrvaneDesk/image/star.png"), QStringLiteral("/star_max.jpg")},
        {QStringLiteral("lotusButton"), QStringLiteral(":/QOrvaneDesk/image/lotus.png"), QStringLiteral("/lotus_max.jpg")},
        {QStringLiteral("seaButton"), QStringLiteral(":/QOrvaneDesk/image/sea.jpg"), QStringLiteral("/sea_max.jpg")},
        // The installed file is named with a hyphen.
        {QStringLiteral("strawberryButton"), QStringLiteral(":/QOrvaneDesk/image/strawberry.jpg"), QStringLiteral("/strawberry-max.jpg")},
        {QStringLiteral("dogButton"), QStringLiteral(":/QOrvaneDesk/image/dog.png"), QStringLiteral("/dog_max.jpg")},
    };
    return list;
}

QString pictureFolder()
{
    return QDir::fromNativeSeparators(AppPaths::appDirPath()) + QStringLiteral("/BkImage");
}

QString picturePath(const QString &folder, const QString &button)
{
    for (const Picture &picture : pictures()) {
        if (picture.button == button)
            return folder + picture.file;
    }
    return QString();
}

QString thumbnailStyleSheet(const QString &thumbnail)
{
    return QStringLiteral("QPushButton{border-image: url(%1);}\n"
                          "QPushButton:hover{background-image: url(%1);border-image: url(:/QOrvaneDesk/image/img_xz.png);}\n"
                          "QPushButton:pressed{background-image: url(%1);border-image: url(:/QOrvaneDesk/image/img_xz.png);}")
        .arg(thumbnail);
}

QString failedTitle()
{
    return QStringLiteral("提示");
}

QString failedText()
{
    return QStringLiteral("设置桌面墙纸失败！");
}

} // namespace WallpaperChoice
