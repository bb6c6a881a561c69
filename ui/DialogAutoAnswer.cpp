#include "ui/DialogAutoAnswer.h"

#include "ui/UiLog.h"

#include <QDialog>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>

namespace DialogAutoAnswer {

Answer fromEnvironment()
{
    const QByteArray value = qgetenv("ORVANE_AUTO_ANSWER");
    if (value == "confirm")
        return Answer::Confirm;
    if (value == "close")
        return Answer::Close;
    return Answer::None;
}

void arm(QDialog *box, const QString &title, const QString &text)
{
    const Answer answer = fromEnvironment();
    if (answer == Answer::None)
        return;
    qCInfo(lcUi).noquote() << "box" << box->objectName() << "title:" << title
                               << "text:" << QString(text).replace(QLatin1String("\r\n"), QLatin1String("\\r\\n"));
    const char *button = answer == Answer::Confirm ? "yesButton" : "closeButton";
    QTimer::singleShot(50, box, [box, button]() {
        if (auto *b = box->findChild<QPushButton *>(QLatin1String(button)))
            b->click();
    });
}

} // namespace DialogAutoAnswer
