#include "statementtemplate.h"

#include <QTest>

class tst_StatementTemplate : public QObject
{
    Q_OBJECT

private slots:
    void templatesBecomeParameterisedSql_data();
    void templatesBecomeParameterisedSql();
};

void tst_StatementTemplate::templatesBecomeParameterisedSql_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<QList<int>>("textPlaceholders");

    QTest::newRow("quoted and bare placeholders")
        << "UPDATE task SET haveDoneWeight = \"%1\" WHERE idButch = %2"
        << QByteArray("UPDATE task SET haveDoneWeight = ?1 WHERE idButch = ?2") << QList<int> {1};
    QTest::newRow("two-digit placeholders")
        << "values (%1, \"%10\", \"%11\")" << QByteArray("values (?1, ?10, ?11)")
        << QList<int> {10, 11};
    QTest::newRow("fixed texts become string literals")
        << "WHERE endTime = \"\" AND a = \"it's\" AND b = \"say \"\"hi\"\"\""
        << QByteArray("WHERE endTime = '' AND a = 'it''s' AND b = 'say \"hi\"'") << QList<int> {};
    QTest::newRow("text around a placeholder is joined to it")
        << "SELECT \"Дозатор %1 - %2\""
        << QString("SELECT ('Дозатор ' || ?1 || ' - ' || ?2)").toUtf8() << QList<int> {1, 2};
    QTest::newRow("single-quoted literals and comments stay as they are")
        << "SELECT '%1', `%2` -- \"%3\"\n/* \"%4\" */ + %5"
        << QByteArray("SELECT '%1', `%2` -- \"%3\"\n/* \"%4\" */ + ?5") << QList<int> {};
    QTest::newRow("percent without a number stays")
        << "SELECT 5 % 2, \"100%\", %0" << QByteArray("SELECT 5 % 2, '100%', %0") << QList<int> {};
    QTest::newRow("unclosed text is left for SQLite to reject")
        << "SELECT \"%1" << QByteArray("SELECT \"%1") << QList<int> {};
}

void tst_StatementTemplate::templatesBecomeParameterisedSql()
{
    QFETCH(QString, statement);
    QFETCH(QByteArray, sql);
    QFETCH(QList<int>, textPlaceholders);

    const StatementTemplate compiled(statement);
    QCOMPARE(compiled.sql(), sql);
    for (int number = 1; number <= 12; ++number)
        QCOMPARE(compiled.isText(number), textPlaceholders.contains(number));
}

QTEST_GUILESS_MAIN(tst_StatementTemplate)
#include "tst_statementtemplate.moc"
