#include "desktop/settings/QSettingDlg.h"

#include "desktop/settings/WallpaperChoice.h"
#include "ui_QSettingDlg.h"

QSettingDlg::QSettingDlg(QWidget *parent)
    : FramelessWindow<QDialog>(parent)
    , ui(new Ui::QSettingDlg)
    , m_pictureFolder(WallpaperChoice::pictureFolder())
{
    ui->setupUi(this);
    chrome().apply(this, FramelessChrome::Frame::Tool, true);
    chrome().fadeIn();
    chrome().setBackground(QStringLiteral(":/QOrvaneDesk/image/wallpaper_bk.png"));

    connect(ui->closeButton, &QPushButton::clicked, this, &QSettingDlg::onClose);
    connect(ui->mountainButton, &QPushButton::clicked, this, &QSettingDlg::onImgMountain);
    connect(ui->eveningButton, &QPushButton::clicked, this, &QSettingDlg::onImageEvening);
    connect(ui->starButton, &QPushButton::clicked, this, &QSettingDlg::onImageStar);
    connect(ui->lotusButton, &QPushButton::clicked, this, &QSettingDlg::onImageLotus);
    connect(ui->seaButton, &QPushButton::clicked, this, &QSettingDlg::onImageSea);
    connect(ui->strawberryButton, &QPushButton::clicked, this, &QSettingDlg::onImageStrawberry);
    connect(ui->dogButton, &QPushButton::clicked, this, &QSettingDlg::onImageDog);
}

QSettingDlg::~QSettingDlg() = default;

void QSettingDlg::choose(const QString &button)
{
    emit modifyWindowsBk(WallpaperChoice::picturePath(m_pictureFolder, button));
}

void QSettingDlg::onClose()
{
    chrome().fadeOut([this]() { close(); });
}

void QSettingDlg::onImgMountain() { choose(QStringLiteral("mountainButton")); }
void QSettingDlg::onImageEvening() { choose(QStringLiteral("eveningButton")); }
void QSettingDlg::onImageStar() { choose(QStringLiteral("starButton")); }
void QSettingDlg::onImageLotus() { choose(QStringLiteral("lotusButton")); }
void QSettingDlg::onImageSea() { choose(QStringLiteral("seaButton")); }
void QSettingDlg::onImageStrawberry() { choose(QStringLiteral("strawberryButton")); }
void QSettingDlg::onImageDog() { choose(QStringLiteral("dogButton")); }
