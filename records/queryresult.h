#ifndef QUERYRESULT_H
#define QUERYRESULT_H

#include <QString>
#include <QStringList>

// What a connection keeps of its last statement: every value as text, row after row.
// As with SQLite's table interface, a result without rows has no columns and no header.
class QueryResult
{
public:
    // The value of row r, column c; the empty text outside the result.
    QString value(int row, int column) const;
    void clear();

    int status = 0;
    QString errorText;
    int columns = 0;
    int rows = 0;
    QStringList header;
    QStringList values;
};

#endif // QUERYRESULT_H
