#pragma once

#include <QString>
#include <QTextDocument>

// A tooltip that shows `text` exactly as it is. Qt renders a tooltip as rich text whenever it
// merely looks like markup (Qt::mightBeRichText), and text from the relay may: it is escaped
// into rich text that reads as the text itself.
inline QString plainTooltip(const QString &text)
{
    return text.isEmpty() ? text : Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap);
}
