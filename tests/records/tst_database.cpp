#include "database.h"
#include "temporarydatabase.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <sqlite3.h>

namespace {

const QString AddProduct =
    QStringLiteral("INSERT INTO product (idProduct, productName) values (NULL, \"%1\");");
const QString CountProduct =
    QStringLiteral("SELECT COUNT(*) FROM product WHERE productName = \"%1\"");

void expectTrace(const char *line)
{
    QTest::ignoreMessage(QtDebugMsg, line);
}

} // namespace

class tst_Database : public QObject
{
    Q_OBJECT

private slots:
    void firstStartCreatesTheTablesAndLeavesAdminEmpty();
    void anyTextRoundTripsByteForByte_data();
    void anyTextRoundTripsByteForByte();
    void bareArgumentsBindByTypeQuotedOnesAsText();
    void consoleStatementWithElevenPlaceholdersStoresEveryColumn();
    void fixedQuotedTextsAreNeverColumnNames();
    void resultKeepsHeaderAndValuesWithNullAsEmptyText();
    void resultWithoutRowsHasNoColumns();
    void failedStatementLeavesAnEmptyResult_data();
    void failedStatementLeavesAnEmptyResult();
    void brokenFileStillGivesEmptyResults_data();
    void brokenFileStillGivesEmptyResults();
    void readOnlyRecordsStayReadableButTakeNoWrites();
    void weightTextsReadAsNumbersOnlyWhenWhole_data();
    void weightTextsReadAsNumbersOnlyWhenWhole();
};

void tst_Database::firstStartCreatesTheTablesAndLeavesAdminEmpty()
{
    TemporaryDatabase records;
    QVERIFY(!QFile::exists(records.path()));

    expectTrace("\nCan open database: not an error");
    Database database(records.path());
    QVERIFY(database.isOpen());
    QVERIFY(database.createTables());
    QVERIFY(database.createTables());

    QCOMPARE(
        records.select("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
        QStringList({"admin", "butch", "cycle", "daySummary", "daySummaryMark", "dose",
                     "doseCorrection", "event", "formulaButch", "formulaPart", "lastButchId",
                     "lastTaskId", "lotCounter", "product", "schedule", "scheduleButch", "task"}));
    QCOMPARE(
        records.select("SELECT sql FROM sqlite_master WHERE name = 'task'").value(0),
        QString("CREATE TABLE task (idButch INTEGER, deviceId INTEGER, startTime TEXT, "
                "endTime TEXT, taskWeight TEXT, haveDoneWeight TEXT, mustToBeDoneWeight "
                "TEXT, productName TEXT, weightScale TEXT, startDate TEXT, endDate TEXT, idTask "
                "INTEGER)"));
    QCOMPARE(records.select("SELECT COUNT(*) FROM admin"), QStringList {"0"});
}

void tst_Database::anyTextRoundTripsByteForByte_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("Cyrillic") << "Мука пшеничная в/с";
    QTest::newRow("double quotes") << "Сахар \"Экстра\"";
    QTest::newRow("statement end") << "x\"); DELETE FROM product; --";
    QTest::newRow("semicolon") << "соль; йод";
    QTest::newRow("apostrophe") << "O'Brien's";
    QTest::newRow("column name") << "productName";
    QTest::newRow("other column name") << "idProduct";
    QTest::newRow("blanks around") << "  мука  ";
    QTest::newRow("placeholders") << "%2 и %1";
    QTest::newRow("outside the basic plane") << "хлеб 🍞";
    QTest::newRow("embedded zero") << QString::fromUtf8("a\0b", 3);
}

void tst_Database::anyTextRoundTripsByteForByte()
{
    QFETCH(QString, name);
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());
    QVERIFY(database.execQuery(AddProduct, {QStringLiteral("Мука")}));

    QVERIFY(database.execQuery(AddProduct, {name}));
    QVERIFY(database.execQuery(CountProduct, {name}));
    QCOMPARE(database.result().values, QStringList {"1"});
    QVERIFY(database.execQuery("SELECT productName FROM product ORDER BY idProduct"));
    QCOMPARE(database.result().values, QStringList({"Мука", name}));
    QCOMPARE(records.select("SELECT CAST(productName AS BLOB) FROM product WHERE idProduct = 2")
                 .value(0)
                 .toUtf8(),
             name.toUtf8());
}

void tst_Database::bareArgumentsBindByTypeQuotedOnesAsText()
{
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.execQuery("SELECT typeof(%1), typeof(\"%2\"), typeof(%3), typeof(%4), "
                               "typeof(%5), typeof(\"%6\")",
                               {5, 7, 2.5, QStringLiteral("5"), QVariant(), QVariant()}));
    QCOMPARE(database.result().values,
             QStringList({"integer", "text", "real", "text", "null", "text"}));
}

void tst_Database::consoleStatementWithElevenPlaceholdersStoresEveryColumn()
{
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());
    const QVariantList task {12,       30,     "09:15", " ",          "120.00", "",
                             "120.00", "Мука", "кг",    "01.03.2024", ""};
    QVERIFY(database.execQuery(
        "INSERT INTO task (idButch, deviceId, startTime, endTime, taskWeight, haveDoneWeight, "
        "mustToBeDoneWeight, productName, weightScale, startDate, endDate) values (%1, \"%2\", "
        "\"%3\", \"%4\", \"%5\", \"%6\", \"%7\", \"%8\", \"%9\", \"%10\", \"%11\");",
        task));

    QVERIFY(database.execQuery("SELECT * FROM task WHERE idButch = %1", {QStringLiteral("12")}));
    QCOMPARE(database.result().rows, 1);
    QStringList expected;
    for (const QVariant &value : task)
        expected << value.toString();
    // The task's id, last, is left to ButchRecords::newTask().
    QCOMPARE(database.result().values, expected << QString());
    QCOMPARE(records.select("SELECT typeof(deviceId) FROM task"), QStringList {"integer"});
}

void tst_Database::fixedQuotedTextsAreNeverColumnNames()
{
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());
    QVERIFY(records.exec("INSERT INTO butch (idButch, date, startTime, endTime, endDate) VALUES "
                         "(1, '01.03.2024', '08:00', '', '')"));
    QVERIFY(records.exec("INSERT INTO butch (idButch, date, startTime, endTime, endDate) VALUES "
                         "(2, '01.03.2024', '08:30', '08:30', '')"));

    QVERIFY(database.execQuery("SELECT idButch FROM butch WHERE endTime = \"\""));
    QCOMPARE(database.result().values, QStringList {"1"});
    QVERIFY(database.execQuery("SELECT idButch FROM butch WHERE endTime = \"startTime\""));
    QCOMPARE(database.result().rows, 0);
}

void tst_Database::resultKeepsHeaderAndValuesWithNullAsEmptyText()
{
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());
    QVERIFY(records.exec("INSERT INTO product VALUES (1, 'Мука'), (2, NULL)"));

    expectTrace("\n2 columns, 2 rows, not an error");
    QVERIFY(database.execQuery("SELECT idProduct, productName FROM product"));
    const QueryResult &result = database.result();
    QCOMPARE(result.status, 0);
    QCOMPARE(result.errorText, QString("not an error"));
    QCOMPARE(result.columns, 2);
    QCOMPARE(result.rows, 2);
    QCOMPARE(result.header, QStringList({"idProduct", "productName"}));
    QCOMPARE(result.values, QStringList({"1", "Мука", "2", ""}));
    QCOMPARE(result.value(0, 1), QString("Мука"));
    QCOMPARE(result.value(2, 0), QString());
}

void tst_Database::resultWithoutRowsHasNoColumns()
{
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());

    expectTrace("\n0 columns, 0 rows, not an error");
    QVERIFY(database.execQuery("SELECT productName, idProduct FROM product;"));
    QCOMPARE(database.result().columns, 0);
    QVERIFY(database.result().header.isEmpty());
}

void tst_Database::failedStatementLeavesAnEmptyResult_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("syntax") << "SELEC 1" << QVariantList() << "near \"SELEC\": syntax error";
    QTest::newRow("missing table")
        << "SELECT * FROM recipe" << QVariantList() << "no such table: recipe";
    QTest::newRow("missing argument") << AddProduct << QVariantList() << "no argument for %1";
    QTest::newRow("second statement fails")
        << "SELECT 1; SELECT * FROM recipe" << QVariantList() << "no such table: recipe";
}

void tst_Database::failedStatementLeavesAnEmptyResult()
{
    QFETCH(QString, statement);
    QFETCH(QVariantList, arguments);
    QFETCH(QString, message);
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());
    QVERIFY(database.execQuery("SELECT 1, 2"));

    expectTrace(qPrintable("\n0 columns, 0 rows, " + message));
    QVERIFY(!database.execQuery(statement, arguments));
    QVERIFY(database.result().status != 0);
    QCOMPARE(database.result().errorText, message);
    QCOMPARE(database.result().rows, 0);
    QCOMPARE(database.result().columns, 0);
    QVERIFY(database.result().values.isEmpty());
    QCOMPARE(records.select("SELECT COUNT(*) FROM product"), QStringList {"0"});
}

void tst_Database::brokenFileStillGivesEmptyResults_data()
{
    QTest::addColumn<TemporaryDatabase::Broken>("how");
    QTest::addColumn<QString>("openTrace");
    QTest::addColumn<QString>("createMessage");
    QTest::addColumn<QString>("selectMessage");

    QTest::newRow("not a database")
        << TemporaryDatabase::Broken::NotADatabase << "\nCan open database: not an error"
        << "file is not a database"
        << "file is not a database";
    QTest::newRow("read-only") << TemporaryDatabase::Broken::ReadOnly
                               << "\nCan open database: not an error"
                               << "attempt to write a readonly database"
                               << "no such table: product";
    QTest::newRow("missing directory") << TemporaryDatabase::Broken::MissingDirectory
                                       << "\nCan't open database: unable to open database file"
                                       << "unable to open database file"
                                       << "unable to open database file";
}

void tst_Database::brokenFileStillGivesEmptyResults()
{
    QFETCH(TemporaryDatabase::Broken, how);
    QFETCH(QString, openTrace);
    QFETCH(QString, createMessage);
    QFETCH(QString, selectMessage);
    TemporaryDatabase records;
    const QString fileName = records.spoil(how);

    expectTrace(qPrintable(openTrace));
    Database database(fileName);
    expectTrace(qPrintable("\n0 columns, 0 rows, " + createMessage));
    for (int i = 0; i < 4; ++i)
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^\n0 columns, 0 rows, "));
    QVERIFY(!database.createTables());

    expectTrace(qPrintable("\n0 columns, 0 rows, " + selectMessage));
    QVERIFY(!database.execQuery("SELECT productName, idProduct FROM product;"));
    QCOMPARE(database.result().rows, 0);
    QVERIFY(!database.execQuery(AddProduct, {QStringLiteral("Мука")}));
    QCOMPARE(database.result().rows, 0);
}

void tst_Database::readOnlyRecordsStayReadableButTakeNoWrites()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    QVERIFY(records.exec("INSERT INTO product VALUES (1, 'Мука')"));
    Database database(records.makeReadOnly());

    QVERIFY(database.execQuery("SELECT productName FROM product"));
    QCOMPARE(database.result().values, QStringList {"Мука"});
    QVERIFY(!database.execQuery(AddProduct, {QStringLiteral("Соль")}));
    QCOMPARE(database.result().status, SQLITE_READONLY);
    QCOMPARE(records.select("SELECT productName FROM product"), QStringList {"Мука"});
}

void tst_Database::weightTextsReadAsNumbersOnlyWhenWhole_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("number");

    QTest::newRow("fixed point") << "12.50" << 12.5;
    QTest::newRow("not exact in binary") << "0.1" << 0.1;
    QTest::newRow("many digits") << "123456789.123456789" << 123456789.123456789;
    QTest::newRow("beyond double precision") << "9007199254740993" << 9007199254740992.0;
    QTest::newRow("leading zeros") << "0012.5" << 12.5;
    QTest::newRow("no fraction digits") << "5." << 5.0;
    QTest::newRow("no integer digits") << ".5" << 0.5;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("negative") << "-3.125" << -3.125;
    QTest::newRow("integer") << "2500" << 2500.0;
    QTest::newRow("blanks around") << " 2.5 " << 2.5;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("word") << "abc" << 0.0;
    QTest::newRow("number then word") << "12abc" << 0.0;
    QTest::newRow("decimal comma") << "1,5" << 0.0;
    QTest::newRow("Cyrillic") << "пять" << 0.0;
}

void tst_Database::weightTextsReadAsNumbersOnlyWhenWhole()
{
    QFETCH(QString, text);
    QFETCH(double, number);
    QCOMPARE(Database::decimalValue(text), number);

    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.execQuery("SELECT decimalValue(\"%1\") = %2", {text, number}));
    QCOMPARE(database.result().values, QStringList {"1"});
}

QTEST_GUILESS_MAIN(tst_Database)
#include "tst_database.moc"
