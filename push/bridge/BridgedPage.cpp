#include "push/bridge/BridgedPage.h"

#include "push/PushLog.h"
#include "push/core/PageScript.h"
#include "push/bridge/QJsInterface.h"

#include <QPointer>
#include <QWebChannel>
#include <QWebEngineScript>

BridgedPage::BridgedPage(const BridgeOrigins &origins, QObject *parent, QObject *bridge)
    : QWebEnginePage(parent)
    , m_origins(origins)
    , m_channel(new QWebChannel(this))
{
    m_channel->registerObject(QStringLiteral("QJsInterface"), bridge ? bridge : QJsInterface::instance());
    // Any of these may come once a new document is in the page; the
    // document itself says which one it is.
    connect(this, &QWebEnginePage::urlChanged, this, &BridgedPage::lookAtDocument);
    connect(this, &QWebEnginePage::loadProgress, this, &BridgedPage::lookAtDocument);
    connect(this, &QWebEnginePage::loadFinished, this, &BridgedPage::lookAtDocument);
}

BridgedPage::~BridgedPage() = default;

bool BridgedPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // Nothing is decided on the address asked for: it may never commit,
    // and whatever document is there now must not gain the bridge by it.
    // The document that is being left is marked (in a world the page's
    // scripts cannot see): until another one has taken its place, every
    // answer comes from it, and it never gets the bridge again, since a
    // channel set now would pass on to the next document of the frame.
    if (isMainFrame) {
        ++m_generation;
        m_asking = false;
        detach();
        runJavaScript(QStringLiteral("window.orvaneLeft = true;"), QWebEngineScript::ApplicationWorld);
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

void BridgedPage::lookAtDocument()
{
    if (isBridged() || m_asking)
        return;
    m_asking = true;
    const quint64 generation = m_generation;
    const QPointer<BridgedPage> self(this);
    // Asked in a world of our own, where the page's scripts cannot answer
    // for the document.
    runJavaScript(QStringLiteral("[location.href, !!window.orvaneLeft]"), QWebEngineScript::ApplicationWorld,
                  [self, generation](const QVariant &answer) {
                      const QVariantList list = answer.toList();
                      if (self && list.size() == 2)
                          self->decide(QUrl(list.at(0).toString()), list.at(1).toBool(), generation);
                  });
}

void BridgedPage::decide(const QUrl &documentUrl, bool left, quint64 generation)
{
    if (generation != m_generation)
        return; // a navigation has started since; its document is asked anew
    m_asking = false;
    if (left)
        return; // the document navigated away from, still there
    if (documentUrl.isEmpty() || documentUrl.scheme() == QLatin1String("about"))
        return; // no document of anyone's yet: an empty page needs no bridge
    // The engine's own error page stands for a load that failed: no bridge,
    // and nothing to report about it.
    const bool errorPage = documentUrl.scheme() == QLatin1String("chrome-error");
    if (!errorPage && m_origins.allows(documentUrl)) {
        m_refused.clear();
        if (!isBridged())
            setWebChannel(m_channel);
        return;
    }
    detach();
    // One line per page, however often it is looked at.
    if (errorPage || documentUrl == m_refused)
        return;
    m_refused = documentUrl;
    qCWarning(lcPush).noquote() << "no bridge for"
                                << documentUrl.toDisplayString(QUrl::RemoveQuery | QUrl::RemoveUserInfo)
                                << "- not an address the service named";
}

void BridgedPage::detach()
{
    if (webChannel())
        setWebChannel(nullptr);
}

void runPageScript(QWebEnginePage *page, const QString &function, const QStringList &arguments)
{
    if (!page)
        return;
    const QString script = PageScript::callWithNumbers(function, arguments);
    if (script.isEmpty()) {
        qCWarning(lcPush) << "not a script function name:" << function;
        return;
    }
    page->runJavaScript(script);
}
