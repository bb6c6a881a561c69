#include "push/desk/DeskPush.h"

#include "push/QMsgListDialog.h"
#include "push/bridge/BridgedPage.h"

#include <QWebEngineView>

struct PushView::Private
{
    std::unique_ptr<QWebEngineView> view;
    // A child of the view: it ends with it.
    BridgedPage *page = nullptr;
};

PushView::PushView(const BridgeOrigins &origins)
    : d(new Private)
{
    d->view.reset(new QWebEngineView);
    d->view->setObjectName(QStringLiteral("pushView"));
    d->page = new BridgedPage(origins, d->view.get());
    d->view->setPage(d->page);
    d->view->hide();
    connect(d->page, &QWebEnginePage::loadFinished, this, &PushView::loadFinished);
}

PushView::~PushView() = default;

bool PushView::available()
{
    return true;
}

void PushView::load(const QUrl &url)
{
    d->view->load(url);
}

void PushView::reload()
{
    d->view->reload();
}

void PushView::runScript(const QString &script)
{
    if (!script.isEmpty())
        d->page->runJavaScript(script);
}

QUrl PushView::url() const
{
    return d->page->url();
}

bool PushView::isBridged() const
{
    return d->page->isBridged();
}

QWidget *PushView::view() const
{
    return d->view.get();
}

bool execMessageCentre(QWidget *parent)
{
    auto *dialog = new QMsgListDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->exec();
    return true;
}
