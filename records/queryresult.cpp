#include "queryresult.h"

QString QueryResult::value(int row, int column) const
{
    if (row < 0 || row >= rows || column < 0 || column >= columns)
        return QString();
    return values.at(row * columns + column);
}

void QueryResult::clear()
{
    status = 0;
    errorText.clear();
    columns = 0;
    rows = 0;
    header.clear();
    values.clear();
}
