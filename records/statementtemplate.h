#ifndef STATEMENTTEMPLATE_H
#define STATEMENTTEMPLATE_H

#include <QByteArray>
#include <QSet>
#include <QString>

// A statement written the console's way: texts between double quotes and numbered placeholders
// %1..%99, as in  UPDATE task SET productName = "%1" WHERE idButch = %2.
// It becomes SQL with numbered parameters (?1, ?2, ...), so argument values are bound and never
// read as SQL. A placeholder between double quotes always stands for a text; a fixed text between
// double quotes becomes an SQL string literal, never a column name.
class StatementTemplate
{
public:
    explicit StatementTemplate(const QString &statement);

    // The statement as UTF-8 SQL.
    const QByteArray &sql() const { return compiled; }
    // True when placeholder n stood inside double quotes.
    bool isText(int number) const { return textNumbers.contains(number); }

private:
    QString quotedText(const QString &content);

    QByteArray compiled;
    QSet<int> textNumbers;
};

#endif // STATEMENTTEMPLATE_H
