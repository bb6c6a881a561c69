#include <QtTest>
class tst_Updater : public QObject
{
    Q_OBJECT
};
QTEST_GUILESS_MAIN(tst_Updater)
#include "tst_updater.moc"
