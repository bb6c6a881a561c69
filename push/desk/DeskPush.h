#pragma once

#include "push/bridge/BridgeOrigins.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QWidget;

// The desktop's hidden push page: a browser view without parent that is
// never shown, whose page has the bridge while it shows a page the origins
// allow. It ends with its owner. A build without the web engine has no
// page: nothing loads, no script runs and nothing is reported.
class PushView : public QObject
{
    Q_OBJECT

public:
    explicit PushView(const BridgeOrigins &origins);
    ~PushView() override;

    // False in a build without the web engine.
    static bool available();

    void load(const QUrl &url);
    void reload();
    // Fire-and-forget; the result is never read.
    void runScript(const QString &script);

    QUrl url() const;
    bool isBridged() const;
    // The hidden view itself; null without the web engine.
    QWidget *view() const;

signals:
    // Every time the page has finished loading, whatever the outcome.
    void loadFinished(bool ok);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The message centre, run modally and deleted on close. False when this
// build has none (it is only logged).
bool execMessageCentre(QWidget *parent = nullptr);
