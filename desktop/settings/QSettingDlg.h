#pragma once

#include "ui/FramelessWindow.h"

#include <QDialog>
#include <QScopedPointer>

namespace Ui {
class QSettingDlg;
}

// The wallpaper settings: seven thumbnails, each click asks for its
// full-size picture to become the desktop wallpaper (modifyWindowsBk); the
// dialog stays open until its close button, so several can be tried.
class QSettingDlg : public FramelessWindow<QDialog>
{
    Q_OBJECT

public:
    explicit QSettingDlg(QWidget *parent = nullptr);
    ~QSettingDlg() override;

    QString pictureFolder() const { return m_pictureFolder; }

signals:
    void modifyWindowsBk(const QString &strPicPath);

public slots:
    void onClose();
    void onImgMountain();
    void onImageEvening();
    void onImageStar();
    void onImageLotus();
    void onImageSea();
    void onImageStrawberry();
    void onImageDog();

private:
    void choose(const QString &button);

    QScopedPointer<Ui::QSettingDlg> ui;
    QString m_pictureFolder;
};
