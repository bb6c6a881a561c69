#include "push/core/NoticeFetch.h"

#include "core/AppPaths.h"
#include "push/PushLog.h"
#include "push/core/NoticeList.h"
#include "service/RequestText.h"
#include "service/ServiceReply.h"
#include "service/SrvInterface.h"

NoticeFetch::NoticeFetch(QObject *parent)
    : QObject(parent)
{
}

NoticeFetch::~NoticeFetch()
{
    // Gone without a word: nobody is left to hear it.
    delete m_reply.data();
}

void NoticeFetch::start(const QString &uid, const QString &token)
{
    cancel();
    const QString url = RequestText::userUrl(
        AppPaths::serverAddress(), QStringLiteral("NSVNoticeService/getSystemNoticeListByUID/json?"),
        RequestText::timeCheckParamsNow(), SrvInterface().clientParams(), uid, token,
        {{QStringLiteral("page"), QStringLiteral("1")}});
    ServiceReply *reply = ServiceReply::send(url, QString(), SrvInterface::kTimeoutMs, this);
    m_reply = reply;
    connect(reply, &ServiceReply::finished, this, [this, reply](ServiceReply::Result result) {
        if (m_reply == reply)
            m_reply = nullptr;
        reply->deleteLater();
        const QString script = result == ServiceReply::Result::Ok ? NoticeList::addLiScript(reply->text()) : QString();
        if (script.isEmpty())
            qCDebug(lcPush) << "notices not fetched:" << result << reply->envelope().code
                            << reply->envelope().message;
        emit finished(!script.isEmpty(), script);
    });
}

void NoticeFetch::cancel()
{
    if (m_reply)
        m_reply->abort();
}
