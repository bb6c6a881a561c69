#include "appcenter/DownloadFinishItem.h"
#include "appcenter/DownloadItem.h"
#include "desktop/settings/QSettingDlg.h"
#include "login/core/Session.h"
#include "login/dialog/QLoginDialog.h"
#include "ui/QMsgDlg.h"
#ifdef ORVANE_ACCESSIBLE_WEB
#include "appcenter/window/QAppCenterWidget.h"
#include "desktop/usercenter/QUserInfoDlg.h"
#endif

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QProgressBar>
#include <QtTest>

// What a screen reader hears of the dialogs and the app centre's own
// widgets: every control has a name, every one the keyboard reaches a
// description too.
namespace {

bool insideQtParts(const QWidget *w, const QWidget *root)
{
    // Scroll bars and viewports of lists, the web engine's own surface.
    for (const QWidget *p = w; p && p != root; p = p->parentWidget()) {
        if (p->objectName().startsWith(QLatin1String("qt_")))
            return true;
        if (p != w && p->inherits("QWebEngineView"))
            return true;
    }
    return false;
}

bool isControl(const QWidget *w)
{
    if (qobject_cast<const QAbstractButton *>(w) || qobject_cast<const QLineEdit *>(w)
        || qobject_cast<const QProgressBar *>(w) || qobject_cast<const QAbstractItemView *>(w))
        return true;
    // A picture says nothing by itself; a text label says its text.
    if (auto *label = qobject_cast<const QLabel *>(w))
        return label->text().isEmpty()
            && (label->movie() || !label->pixmap(Qt::ReturnByValue).isNull()
                || label->styleSheet().contains(QLatin1String("image")));
    return w->focusPolicy() != Qt::NoFocus;
}

QStringList unnamed(QWidget *root)
{
    QStringList missing;
    QList<QWidget *> widgets{root};
    widgets << root->findChildren<QWidget *>();
    for (QWidget *w : qAsConst(widgets)) {
        if (insideQtParts(w, root) || (w != root && !isControl(w)))
            continue;
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
        const QString what = QStringLiteral("%1 (%2)").arg(w->objectName(), w->metaObject()->className());
        if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
            missing << what + QStringLiteral(": no name");
        else if (w->focusPolicy() != Qt::NoFocus && a->text(QAccessible::Description).trimmed().isEmpty())
            missing << what + QStringLiteral(": no description");
    }
    return missing;
}

} // namespace

class TestAccessibleNames : public QObject
{
    Q_OBJECT

private slots:
    void dialogsAndRows();
#ifdef ORVANE_ACCESSIBLE_WEB
    void appCentreAndUserCentre();
#endif
};

void TestAccessibleNames::dialogsAndRows()
{
    QMsgDlg box(QStringLiteral("提示"), QStringLiteral("\r\n保存成功！"));
    QCOMPARE(unnamed(&box), QStringList());
    // The message itself is what the label is called.
    QCOMPARE(QAccessible::queryAccessibleInterface(box.findChild<QLabel *>("labelMsg"))->text(QAccessible::Name).trimmed(),
             QStringLiteral("保存成功！"));

    QSettingDlg settings;
    QCOMPARE(unnamed(&settings), QStringList());

    Session session;
    QLoginDialog login(session);
    QCOMPARE(unnamed(&login), QStringList());
    QCOMPARE(QAccessible::queryAccessibleInterface(login.findChild<QLineEdit *>("pwdLineEdit"))->text(QAccessible::Name),
             QStringLiteral("密码"));

    auto app = DesktopAppInfoPtr::create();
    app->id = "a1";
    app->name = QStringLiteral("速绘画板");
    // Nothing listens there: the row shows its failure at once.
    app->url = "http://127.0.0.1:1/setup.sh";
    QWidget list;
    auto *row = new DownloadItem(&list, app, 1);
    QCOMPARE(unnamed(row), QStringList());
    DownloadFinishItem done(QString(), QStringLiteral("速绘画板"), 2);
    QCOMPARE(unnamed(&done), QStringList());
}

#ifdef ORVANE_ACCESSIBLE_WEB
void TestAccessibleNames::appCentreAndUserCentre()
{
    Session session;
    QAppCenterWidget centre(session);
    QCOMPARE(unnamed(&centre), QStringList());

    LoginUserInfo user;
    QObject bridge;
    QUserInfoDlg userCentre(user, BridgeOrigins(), &bridge);
    QCOMPARE(unnamed(&userCentre), QStringList());
}
#endif

QTEST_MAIN(TestAccessibleNames)
#include "tst_accessiblenames.moc"
