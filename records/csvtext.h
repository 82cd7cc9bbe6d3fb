#ifndef CSVTEXT_H
#define CSVTEXT_H

#include <QByteArray>
#include <QString>

// A semicolon-separated file for spreadsheets of the panel's Windows: Windows-1251 bytes without
// byte-order mark, every cell followed by ';', every line ended by a single line feed.
// A data cell is quoted with its quotes doubled, and whatever its text holds it stays one cell
// of one line: line breaks and other control characters become blanks, and a character the code
// page lacks becomes '?' (the code page's own substitute, Ctrl-Z, ends a file for some readers).
class CsvText
{
public:
    // A cell written as it stands, unquoted: for the program's own captions.
    CsvText &heading(const QString &text);
    CsvText &cell(const QString &text);
    CsvText &endLine();

    const QByteArray &bytes() const { return content; }
    // Replaces the file's content; false when it could not be written.
    bool save(const QString &fileName) const;

private:
    QByteArray content;
};

#endif // CSVTEXT_H
