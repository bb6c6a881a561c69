#pragma once

#include "push/bridge/BridgeOrigins.h"

#include <QStringList>
#include <QWebEnginePage>

class QWebChannel;

// A page that publishes the process-wide QJsInterface as "QJsInterface" on
// a web channel of its own, but only while it shows a page the origins
// allow: before every main-frame navigation (links, scripts, redirects)
// the channel is set or taken away, and a refusal is logged.
class BridgedPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit BridgedPage(const BridgeOrigins &origins, QObject *parent = nullptr);
    ~BridgedPage() override;

    bool isBridged() const { return webChannel() != nullptr; }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    void bridgeFor(const QUrl &url);

    BridgeOrigins m_origins;
    QWebChannel *m_channel = nullptr;
    QUrl m_refused;
};

// Runs "function(arguments...)" in the page, fire-and-forget; the text is
// built by PageScript::callWithNumbers (ids as numbers, everything else a
// quoted string).
void runPageScript(QWebEnginePage *page, const QString &function, const QStringList &arguments);
