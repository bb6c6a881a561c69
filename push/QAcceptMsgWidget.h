#pragma once

#include "push/core/PushMessage.h"
#include "ui/FramelessWindow.h"

#include <QPointer>
#include <QScopedPointer>
#include <QString>
#include <QWidget>

class CloudDownload;

namespace Ui {
class QAcceptMsgWidget;
}

// The pop-up of one push message in the bottom-right corner: a system
// notice with "查看更多", or an application offer with its picture, name,
// price and description and "安装". Anything else shows the bare layout.
// It stays until the user closes it; the creator decides whether it
// deletes itself then (Qt::WA_DeleteOnClose).
class QAcceptMsgWidget : public FramelessWindow<QWidget>
{
    Q_OBJECT

public:
    explicit QAcceptMsgWidget(const QString &strJson, QWidget *parent = nullptr);
    ~QAcceptMsgWidget() override;

    QString strJson() const { return m_strJson; }
    const PushMessage &message() const { return m_message; }

    // Turns the pop-up into the summary of messages not shown one by one:
    // the text, and "查看更多" for the message centre.
    void showSummary(const QString &text);

    // Moves the pop-up to the bottom-right corner of the primary screen's
    // available area.
    void moveToCorner();

signals:
    // "安装": the whole message text as received.
    void install(const QString &strJson);
    // "查看更多": the message centre is wanted.
    void openMsgList();
    // The offer's picture is shown (or could not be had).
    void pictureSettled(bool shown);

public slots:
    void onClose();
    void onOpenMsgList();
    void onDownLoadApp();

private:
    void showNotice();
    void showOffer();
    void fetchPicture();

    QScopedPointer<Ui::QAcceptMsgWidget> ui;
    QString m_strJson;
    PushMessage m_message;
    QPointer<CloudDownload> m_download;
    bool m_closing = false;
    bool m_summary = false;
};
