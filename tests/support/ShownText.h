#pragma once

#include <QLabel>
#include <QString>
#include <QTextDocument>

// What the user reads where a text is shown: a label's text, or a tool
// tip's, as the widget renders it (markup taken for markup where the
// widget would take it so).
inline QString shownText(const QString &text, Qt::TextFormat format)
{
    const bool rich = format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text));
    if (!rich)
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

inline QString shownText(const QLabel *label)
{
    return shownText(label->text(), label->textFormat());
}

// Tool tips decide as a label with automatic format does.
inline QString shownToolTip(const QString &toolTip)
{
    return shownText(toolTip, Qt::AutoText).trimmed();
}

// A name a service could send: markup, an entity and a picture.
inline QString markupName()
{
    return QStringLiteral("<b>记账</b>&amp;<img src=\"x.png\">本");
}
