#include "windows1251.h"

#include <QStringEncoder>
#include <QTest>

class tst_Windows1251 : public QObject
{
    Q_OBJECT

private slots:
    void knownTextsGiveKnownBytes_data();
    void knownTextsGiveKnownBytes();
    void builtInTableAgreesWithTheSystemConverter();
};

void tst_Windows1251::knownTextsGiveKnownBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("heading") << "Продукт;Вес, кг;\n"
                             << QByteArray::fromHex("cff0eee4f3eaf23bc2e5f12c20eae33b0a");
    QTest::newRow("letters outside А..я") << "Ёё№€" << QByteArray::fromHex("a8b8b988");
    QTest::newRow("ASCII stays") << "\"12,50\";" << QByteArray("\"12,50\";");
    QTest::newRow("missing characters become the substitute")
        << "中🍞x" << QByteArray::fromHex("1a1a78");
}

void tst_Windows1251::knownTextsGiveKnownBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Windows1251::encode(text), bytes);
    QCOMPARE(Windows1251::encodeByTable(text), bytes);
}

void tst_Windows1251::builtInTableAgreesWithTheSystemConverter()
{
    QStringEncoder system("windows-1251");
    if (!system.isValid())
        QSKIP("this Qt has no converter for Windows-1251");
    // ICU drops invisible formatting characters where the table writes the substitute.
    for (char32_t c = 1; c < 0x10000; ++c) {
        if (QChar::isSurrogate(c))
            continue;
        const QString character {QChar(char16_t(c))};
        const QByteArray expected = system.encode(character);
        if (!expected.isEmpty() && Windows1251::encodeByTable(character) != expected)
            QFAIL(qPrintable(QString("U+%1 differs").arg(uint(c), 4, 16, QChar(u'0'))));
    }
}

QTEST_GUILESS_MAIN(tst_Windows1251)
#include "tst_windows1251.moc"
