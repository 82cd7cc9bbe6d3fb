#include "csvtext.h"

#include "windows1251.h"

#include <QFile>

namespace {

constexpr char CsvSeparator = ';';
constexpr char Quote = '"';
constexpr char LineEnd = '\n';
constexpr char Blank = ' ';
constexpr char Tab = '\t';
constexpr char Substitute = 0x1A;
constexpr char Unknown = '?';
constexpr char FirstPrintable = 0x20;

} // namespace

CsvText &CsvText::heading(const QString &text)
{
    content += Windows1251::encode(text);
    content += CsvSeparator;
    return *this;
}

CsvText &CsvText::cell(const QString &text)
{
    // Escaped after encoding, so no character can turn into a quote or a line break on the way.
    const QByteArray encoded = Windows1251::encode(text);
    content += Quote;
    for (const char byte : encoded) {
        if (byte == Quote)
            content += Quote;
        if (byte == Substitute)
            content += Unknown;
        else if (byte >= 0 && byte < FirstPrintable && byte != Tab)
            content += Blank;
        else
            content += byte;
    }
    content += Quote;
    content += CsvSeparator;
    return *this;
}

CsvText &CsvText::endLine()
{
    content += LineEnd;
    return *this;
}

bool CsvText::save(const QString &fileName) const
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content) == content.size() && file.flush();
}
