#pragma once

class QDialog;
class QString;

// Lets process-level tests drive message boxes of a real client process.
// When ORVANE_AUTO_ANSWER is "confirm" or "close", every box logs its title
// and text on the "orvane.dialog" category and presses that button as soon
// as its modal loop runs. Unset (always, outside tests), it does nothing.
namespace DialogAutoAnswer {

enum class Answer { None, Confirm, Close };

Answer fromEnvironment();

// Logs the box and schedules the answer.
void arm(QDialog *box, const QString &title, const QString &text);

} // namespace DialogAutoAnswer
