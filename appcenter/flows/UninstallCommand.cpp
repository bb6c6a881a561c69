#include "appcenter/flows/UninstallCommand.h"

namespace {

QStringList wordsOf(const QString &line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else if (c == QLatin1Char('\\') && quote == QLatin1Char('"') && i + 1 < line.size())
                word += line.at(++i);
            else
                word += c;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            inWord = true;
        } else if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line.at(++i);
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

} // namespace

UninstallCommand UninstallCommand::split(const QString &line)
{
    UninstallCommand command;
    const int exe = line.indexOf(QLatin1String(".exe"));
    if (exe >= 0) {
        command.program = line.left(exe + 4).remove(QLatin1Char('"'));
        if (exe + 5 <= line.size())
            command.arguments = line.mid(exe + 5).remove(QLatin1Char('"')).split(QLatin1Char(' '));
        // "x.exe" alone, or with just the closing quote after it, has no arguments.
        if (command.arguments == QStringList{QString()})
            command.arguments.clear();
        return command;
    }
    QStringList words = wordsOf(line);
    if (words.isEmpty())
        return command;
    command.program = words.takeFirst();
    command.arguments = words;
    return command;
}
