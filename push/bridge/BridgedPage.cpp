#include "push/bridge/BridgedPage.h"

#include "push/PushLog.h"
#include "push/core/PageScript.h"
#include "push/bridge/QJsInterface.h"

#include <QWebChannel>

BridgedPage::BridgedPage(const BridgeOrigins &origins, QObject *parent)
    : QWebEnginePage(parent)
    , m_origins(origins)
    , m_channel(new QWebChannel(this))
{
    m_channel->registerObject(QStringLiteral("QJsInterface"), QJsInterface::instance());
    // A second look once the address has changed, whatever led there.
    connect(this, &QWebEnginePage::urlChanged, this, &BridgedPage::bridgeFor);
}

BridgedPage::~BridgedPage() = default;

bool BridgedPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (isMainFrame)
        bridgeFor(url);
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

void BridgedPage::bridgeFor(const QUrl &url)
{
    if (url.isEmpty())
        return;
    // An empty page needs no bridge and is no one's to refuse.
    if (url.scheme() == QLatin1String("about")) {
        if (webChannel())
            setWebChannel(nullptr);
        return;
    }
    const bool allowed = m_origins.allows(url);
    if (allowed)
        m_refused.clear();
    if (allowed && !webChannel()) {
        setWebChannel(m_channel);
    } else if (!allowed) {
        if (webChannel())
            setWebChannel(nullptr);
        // Navigation and the address change both come here: one line per page.
        if (url == m_refused)
            return;
        m_refused = url;
        qCWarning(lcPush).noquote() << "no bridge for" << url.toDisplayString(QUrl::RemoveQuery | QUrl::RemoveUserInfo)
                                    << "- not an address the service named";
    }
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
