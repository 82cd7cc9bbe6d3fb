#include "statementtemplate.h"

#include <QStringList>

namespace {

constexpr int MaxPlaceholderDigits = 2;

// Reads a placeholder number at position i ('%' followed by 1..2 digits, not zero); returns its
// number and moves i past it, or returns 0 and leaves i alone.
int placeholderAt(const QString &text, qsizetype &i)
{
    if (text.at(i) != u'%')
        return 0;
    qsizetype end = i + 1;
    int number = 0;
    while (end < text.size() && end - i <= MaxPlaceholderDigits && text.at(end).isDigit()) {
        number = number * 10 + text.at(end).digitValue();
        ++end;
    }
    if (number == 0)
        return 0;
    i = end;
    return number;
}

// Index just past the closing delimiter of a span that starts at i, where a doubled delimiter
// stands for itself; -1 when the span is not closed.
qsizetype quotedSpanEnd(const QString &text, qsizetype i, QChar delimiter)
{
    qsizetype j = i + 1;
    while (j < text.size()) {
        if (text.at(j) == delimiter) {
            if (j + 1 < text.size() && text.at(j + 1) == delimiter) {
                j += 2;
                continue;
            }
            return j + 1;
        }
        ++j;
    }
    return -1;
}

QString sqlLiteral(const QString &text)
{
    QString literal = text;
    literal.replace(u'\'', QStringLiteral("''"));
    return u'\'' + literal + u'\'';
}

} // namespace

StatementTemplate::StatementTemplate(const QString &statement)
{
    QString sql;
    sql.reserve(statement.size());
    qsizetype i = 0;
    while (i < statement.size()) {
        const QChar c = statement.at(i);
        const QChar next = i + 1 < statement.size() ? statement.at(i + 1) : QChar();
        const qsizetype quoteEnd =
            (c == u'\'' || c == u'`' || c == u'"') ? quotedSpanEnd(statement, i, c) : 0;
        if (quoteEnd < 0) {
            // Left as it is, so SQLite reports the unfinished text.
            sql += QStringView(statement).mid(i);
            break;
        }
        if (c == u'\'' || c == u'`') {
            sql += QStringView(statement).mid(i, quoteEnd - i);
            i = quoteEnd;
        } else if (c == u'"') {
            const qsizetype end = quoteEnd;
            QString content = statement.mid(i + 1, end - i - 2);
            content.replace(QStringLiteral("\"\""), QStringLiteral("\""));
            sql += quotedText(content);
            i = end;
        } else if (c == u'-' && next == u'-') {
            const qsizetype end = statement.indexOf(u'\n', i);
            const qsizetype stop = end < 0 ? statement.size() : end;
            sql += QStringView(statement).mid(i, stop - i);
            i = stop;
        } else if (c == u'/' && next == u'*') {
            const qsizetype end = statement.indexOf(QStringLiteral("*/"), i + 2);
            const qsizetype stop = end < 0 ? statement.size() : end + 2;
            sql += QStringView(statement).mid(i, stop - i);
            i = stop;
        } else if (const int number = placeholderAt(statement, i)) {
            sql += u'?' + QString::number(number);
        } else {
            sql += c;
            ++i;
        }
    }
    compiled = sql.toUtf8();
}

// A double-quoted text: one placeholder becomes a text parameter, fixed text an SQL literal,
// and a mix of both their concatenation.
QString StatementTemplate::quotedText(const QString &content)
{
    QStringList parts;
    QString fixed;
    qsizetype i = 0;
    while (i < content.size()) {
        if (const int number = placeholderAt(content, i)) {
            if (!fixed.isEmpty())
                parts << sqlLiteral(fixed);
            fixed.clear();
            parts << u'?' + QString::number(number);
            textNumbers.insert(number);
        } else {
            fixed += content.at(i);
            ++i;
        }
    }
    if (!fixed.isEmpty() || parts.isEmpty())
        parts << sqlLiteral(fixed);
    if (parts.size() == 1)
        return parts.first();
    return u'(' + parts.join(QStringLiteral(" || ")) + u')';
}
