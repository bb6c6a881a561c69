#pragma once

#include "push/bridge/BridgeOrigins.h"

#include <QStringList>
#include <QWebEnginePage>

class QWebChannel;

// A page that publishes a bridge object (the process-wide QJsInterface
// unless told otherwise) as "QJsInterface" on a web channel of its own,
// but only to a document the origins allow, and only once that document
// has committed: the channel goes the moment any main-frame navigation
// starts, and comes back only when a new document has taken the place of
// the one left and reports an allowed address of its own. A navigation
// that never commits (an answer 204, a download, a cancelled load)
// therefore leaves the document that was there without the bridge, for
// good. Pages wait for qt.webChannelTransport to appear rather than
// expect it while their scripts first run.
class BridgedPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit BridgedPage(const BridgeOrigins &origins, QObject *parent = nullptr, QObject *bridge = nullptr);
    ~BridgedPage() override;

    bool isBridged() const { return webChannel() != nullptr; }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    void lookAtDocument();
    void decide(const QUrl &documentUrl, bool left, quint64 generation);
    void detach();

    BridgeOrigins m_origins;
    QWebChannel *m_channel = nullptr;
    QUrl m_refused;
    // Counts main-frame navigations: an answer about a document that has
    // been navigated away from since the question is worth nothing.
    quint64 m_generation = 0;
    bool m_asking = false;
};

// Runs "function(arguments...)" in the page, fire-and-forget; the text is
// built by PageScript::callWithNumbers (ids as numbers, everything else a
// quoted string).
void runPageScript(QWebEnginePage *page, const QString &function, const QStringList &arguments);
