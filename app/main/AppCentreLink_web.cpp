#include "app/main/AppCentreLink.h"

#include "appcenter/window/QAppCenterWidget.h"
#include "desktop/window/QLumiqDesk.h"
#include "login/core/Session.h"

#include <QPointer>

#include <memory>

void linkAppCentre(QLumiqDesk &desk, Session &session)
{
    // Owned by the desktop window (its parent); held here only weakly.
    auto centre = std::make_shared<QPointer<QAppCenterWidget>>();
    auto ensure = [&desk, &session, centre]() -> QAppCenterWidget * {
        if (*centre) {
            (*centre)->reopen();
            return *centre;
        }
        auto *window = new QAppCenterWidget(session, &desk);
        window->setWindowModality(Qt::WindowModal);
        QObject::connect(window, &QAppCenterWidget::uninstallationCompleteSlot, &desk,
                         &QLumiqDesk::uninstallationCompleteSlot);
        *centre = window;
        window->show();
        return window;
    };
    QObject::connect(&desk, &QLumiqDesk::appCentreRequested, &desk, [ensure](int categoryIndex) {
        QAppCenterWidget *window = ensure();
        if (categoryIndex >= 0) {
            window->onPushButton_app();
            window->setSelectedCategory(categoryIndex);
            window->reopen();
        }
    });
    // A pop-up's "安装": the app centre comes up and installs the offer.
    QObject::connect(&desk, &QLumiqDesk::installOffer, &desk,
                     [ensure](const QString &strJson) { ensure()->pushInstall(strJson); });
    desk.setAppCentreAvailable(true);
}
