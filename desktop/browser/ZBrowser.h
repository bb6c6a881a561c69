#pragma once

#include <QPoint>
#include <QWidget>

class WebEngineView;

namespace Ui {
class ZBrowser;
}

// The client's own browser window: title area with minimise, maximise and
// close, a navigation bar, and one web view in which every page stays.
class ZBrowser : public QWidget
{
    Q_OBJECT

public:
    explicit ZBrowser(QWidget *parent = nullptr);
    ~ZBrowser() override;

    // Loads the address as a user would type it; a non-empty title replaces
    // the title text.
    void openUrl(const QString &address, const QString &title);

    WebEngineView *view() const { return m_view; }

public slots:
    void onExitFullScreen();

private slots:
    void on_maxPushButton_clicked();
    void on_flushPushButton_clicked();
    void on_backPushButton_clicked();
    void on_forwardPushButton_clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    Ui::ZBrowser *ui;
    WebEngineView *m_view = nullptr;
    QPoint m_windowAtPress;
    QPoint m_cursorAtPress;
    QPoint m_offset;
};
