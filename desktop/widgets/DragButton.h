#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QPixmap>
#include <QString>
#include <QToolButton>

class QTimer;

// One icon of a grid: paints its own picture and caption, grows while the
// pointer is over it, and follows the pointer while it is held down so the
// grid can move it to another cell. From the keyboard: Enter launches as
// a double-click does, the menu key asks for the context menu, arrow keys
// are left to the grid; an icon the keyboard focused is drawn with a frame
// (a click gives none).
class DragButton : public QToolButton
{
    Q_OBJECT

public:
    static constexpr double kBaseScale = 0.7;
    static constexpr int kZoomIntervalMs = 7;
    static constexpr int kHoldMs = 1000;

    explicit DragButton(QWidget *parent = nullptr);
    ~DragButton() override;

    void setCaption(const QString &text);
    QString caption() const { return m_caption; }
    // A path that does not load leaves the picture empty; whenever a
    // download stores a picture at the path later, the icon shows it.
    void setPicturePath(const QString &path);
    void setPicture(const QPixmap &pixmap);
    QPixmap picture() const { return m_picture; }

    // A null record leaves the attached one unchanged.
    void setAppInfo(const DesktopAppInfoPtr &app);
    DesktopAppInfoPtr appInfo() const { return m_app; }

    double scale() const { return m_scale; }
    bool isPressed() const { return m_pressed; }
    bool isDragging() const { return m_dragging; }

signals:
    void release_signal();
    void drag_signal();
    void clicked();
    void doubleClicked();

public slots:
    void zoomIn();
    void zoomOut();
    void hold_slot();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void showPicture(const QPixmap &pixmap);

    int m_pressed = 0;
    int m_dragging = 0;
    QTimer *m_zoomTimer = nullptr;
    QTimer *m_holdTimer = nullptr;
    double m_scale = kBaseScale;
    double m_baseScale = kBaseScale;
    int m_pressX = 0;
    int m_pressY = 0;
    QPixmap m_picture;
    QMetaObject::Connection m_pictureFollow;
    QString m_caption;
    DesktopAppInfoPtr m_app;
    // The menu key was answered here; the window system's own context-menu
    // event for the same key is then not answered again.
    bool m_menuKeyAnswered = false;
};
