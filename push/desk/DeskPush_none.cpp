#include "push/desk/DeskPush.h"

#include "push/PushLog.h"

struct PushView::Private
{
    QUrl url;
};

PushView::PushView(const BridgeOrigins &)
    : d(new Private)
{
}

PushView::~PushView() = default;

bool PushView::available()
{
    return false;
}

void PushView::load(const QUrl &url)
{
    d->url = url;
    qCInfo(lcPush) << "no push page in this build, not loading" << url.toDisplayString();
}

void PushView::reload() {}

void PushView::runScript(const QString &) {}

QUrl PushView::url() const
{
    return d->url;
}

bool PushView::isBridged() const
{
    return false;
}

QWidget *PushView::view() const
{
    return nullptr;
}

bool execMessageCentre(QWidget *)
{
    qCWarning(lcPush) << "no message centre in this build";
    return false;
}
