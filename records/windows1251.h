#ifndef WINDOWS1251_H
#define WINDOWS1251_H

#include <QByteArray>
#include <QString>

// Text as Windows-1251 bytes, for files that leave the program. A character the code page lacks
// becomes the substitute byte 0x1A.
class Windows1251
{
public:
    static QByteArray encode(const QString &text);
    // The code page from a built-in table, for Qt builds whose converters lack it.
    static QByteArray encodeByTable(const QString &text);
};

#endif // WINDOWS1251_H
