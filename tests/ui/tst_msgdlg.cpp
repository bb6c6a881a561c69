#include "ui/FramelessWindow.h"
#include "ui/QMsgDlg.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestMsgDlg : public QObject
{
    Q_OBJECT

private:
    // Runs `action` once the box's modal loop is up.
    static void whenShown(QMsgDlg &box, std::function<void()> action)
    {
        QTimer::singleShot(0, &box, [&box, action]() {
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            action();
        });
    }

private slots:
    void layout()
    {
        QMsgDlg box(QStringLiteral("标题"), QStringLiteral("\r\n内容"));
        QCOMPARE(box.objectName(), QStringLiteral("QMsgDlg"));
        QCOMPARE(box.size(), QSize(480, 294));
        QCOMPARE(box.title(), QStringLiteral("标题"));
        auto *close = box.findChild<QPushButton *>(QStringLiteral("closeButton"));
        auto *yes = box.findChild<QPushButton *>(QStringLiteral("yesButton"));
        auto *label = box.findChild<QLabel *>(QStringLiteral("labelMsg"));
        QVERIFY(close && yes && label);
        QCOMPARE(close->geometry(), QRect(455, 5, 20, 20));
        QCOMPARE(yes->geometry(), QRect(185, 240, 110, 40));
        QCOMPARE(label->pos(), QPoint(75, 145));
        QCOMPARE(label->width(), 330);
        QCOMPARE(label->text(), QStringLiteral("\r\n内容"));
        QVERIFY(label->wordWrap());
        QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(box.windowFlags() & Qt::Tool);
        QVERIFY(box.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(box.styleSheet().contains(QStringLiteral("outline: none")));
    }

    void longTextIsNeverCut_data()
    {
        QTest::addColumn<int>("characters");
        QTest::newRow("one line") << 10;
        QTest::newRow("four lines") << 70;
        QTest::newRow("seven lines") << 130;
    }

    void longTextIsNeverCut()
    {
        QFETCH(int, characters);
        const QString text = QStringLiteral("\r\n") + QString(characters, QChar(0x5B57));
        QMsgDlg box(QStringLiteral("t"), text);
        auto *label = box.findChild<QLabel *>(QStringLiteral("labelMsg"));
        QCOMPARE(label->width(), 330);
        QVERIFY(label->height() >= label->heightForWidth(330)); // every line fits
        QVERIFY(label->geometry().bottom() < 240);               // never over the confirm button
        QVERIFY(label->y() <= 145);
    }

    void buttonsDecideTheResult_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("confirm") << "yesButton" << 1;
        QTest::newRow("close") << "closeButton" << 0;
    }

    void buttonsDecideTheResult()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        QMsgDlg box(QStringLiteral("t"), QStringLiteral("text"));
        bool visibleDuringFade = false;
        whenShown(box, [&]() {
            QTest::mouseClick(box.findChild<QPushButton *>(button), Qt::LeftButton);
            // The box stays up while it fades out.
            QTimer::singleShot(100, &box, [&]() {
                visibleDuringFade = box.isVisible() && box.windowOpacity() < 1.0;
            });
        });
        QCOMPARE(box.exec(), result);
        QVERIFY(visibleDuringFade);
    }

    void escapeIsSwallowedEnterConfirms()
    {
        QMsgDlg box(QStringLiteral("t"), QStringLiteral("text"));
        bool stillUpAfterEscape = false;
        whenShown(box, [&]() {
            QTest::keyClick(&box, Qt::Key_Escape);
            QTimer::singleShot(400, &box, [&]() {
                stillUpAfterEscape = box.isVisible();
                QTest::keyClick(&box, Qt::Key_Return);
            });
        });
        QCOMPARE(box.exec(), 1);
        QVERIFY(stillUpAfterEscape);
    }

    void dragsByBackgroundOnly()
    {
        QMsgDlg box(QStringLiteral("t"), QStringLiteral("text"));
        box.move(100, 100);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QPoint start = box.pos();

        // Press on the background, move 30 px right and 20 px down.
        const QPoint local(20, 100);
        QMouseEvent press(QEvent::MouseButtonPress, local, box.mapToGlobal(local),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&box, &press);
        const QPoint global = box.mapToGlobal(local) + QPoint(30, 20);
        QMouseEvent move(QEvent::MouseMove, box.mapFromGlobal(global), global,
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&box, &move);
        QCOMPARE(box.pos(), start + QPoint(30, 20));

        // A press taken by a button does not reach the window.
        auto *yes = box.findChild<QPushButton *>(QStringLiteral("yesButton"));
        const QPoint before = box.pos();
        QTest::mousePress(yes, Qt::LeftButton);
        QMouseEvent moveOnButton(QEvent::MouseMove, QPoint(5, 5), yes->mapToGlobal(QPoint(40, 40)),
                                 Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(yes, &moveOnButton);
        QCOMPARE(box.pos(), before);
        QTest::mouseRelease(yes, Qt::LeftButton);
    }

    // The fade-in runs whether a window asks for it before or after the
    // chrome learns which window it is.
    void fadeInWhateverTheOrder_data()
    {
        QTest::addColumn<bool>("fadeFirst");
        QTest::newRow("fade, then chrome") << true;
        QTest::newRow("chrome, then fade") << false;
    }

    void fadeInWhateverTheOrder()
    {
        QFETCH(bool, fadeFirst);
        struct Window : FramelessWindow<QDialog>
        {
            explicit Window(bool fadeFirst)
            {
                if (fadeFirst)
                    chrome().fadeIn();
                chrome().apply(this, FramelessChrome::Frame::Tool, false);
                if (!fadeFirst)
                    chrome().fadeIn();
            }
        } window(fadeFirst);
        window.show();
        QTest::qWait(50);
        QVERIFY2(window.windowOpacity() < 1.0, "no fade under way");
        QTRY_COMPARE(window.windowOpacity(), 1.0);
    }
};

QTEST_MAIN(TestMsgDlg)
#include "tst_msgdlg.moc"
