#include "receiptparameters.h"
#include "receiptstore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {

ReceiptParameters flour()
{
    ReceiptParameters parameters;
    parameters.productName = "Мука \"в/с\"; 1";
    parameters.taskWeight = "1250.50";
    parameters.doseFaultPlus = "0.05";
    parameters.doseFaultMinus = "0.10";
    parameters.weightScale = "кг";
    parameters.scale = 2;
    return parameters;
}

int rowCount(const QString &path)
{
    sqlite3 *connection = nullptr;
    sqlite3_open(path.toUtf8().constData(), &connection);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(connection, "SELECT count(*) FROM doserparameters", -1, &statement, nullptr);
    const int rows = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
    sqlite3_finalize(statement);
    sqlite3_close(connection);
    return rows;
}

} // namespace

class tst_ReceiptParameters : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rewritingKeepsOneRowAndEveryDigit();
    void unusableFilesAreRefusedWithAMessage_data();
    void unusableFilesAreRefusedWithAMessage();
    void otherUnitOrDecimalsDoNotFit();

private:
    std::unique_ptr<QTemporaryDir> store;
};

void tst_ReceiptParameters::init()
{
    store = std::make_unique<QTemporaryDir>();
    ReceiptStore::setStoreDirectory(store->path());
}

void tst_ReceiptParameters::rewritingKeepsOneRowAndEveryDigit()
{
    QVERIFY(ReceiptStore::createReceipt("Рецепт", "описание"));
    const QString path = ReceiptStore::filePath("Рецепт");
    QCOMPARE(flour().writeTo(path), QString());

    ReceiptParameters sugar = flour();
    sugar.productName = "Сахар";
    sugar.taskWeight = "0.00";
    sugar.doseFaultMinus.clear();
    QCOMPARE(sugar.writeTo(path), QString());
    QCOMPARE(rowCount(path), 1);

    ReceiptParameters read;
    QCOMPARE(read.readFrom(path), QString());
    QVERIFY(read == sugar);
    QCOMPARE(ReceiptStore::readDescription("Рецепт"), QString("описание"));

    ReceiptParameters wrongDecimals = flour();
    wrongDecimals.taskWeight = "1250.5";
    QVERIFY(!wrongDecimals.writeTo(path).isEmpty());
    QCOMPARE(read.readFrom(path), QString());
    QVERIFY(read == sugar);
}

void tst_ReceiptParameters::unusableFilesAreRefusedWithAMessage_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << ""
                             << "Файл рецепта \"r\" не найден.";
    QTest::newRow("not a database")
        << QString(4096, 'x') << "Файл рецепта \"r\" повреждён: это не база данных рецепта.";
    QTest::newRow("description only") << "describe"
                                      << "В рецепте \"r\" нет параметров работы дозатора.";
    QTest::newRow("spoiled weight") << "spoil"
                                    << "Параметры рецепта \"r\" повреждены.";
}

void tst_ReceiptParameters::unusableFilesAreRefusedWithAMessage()
{
    QFETCH(QString, content);
    QFETCH(QString, message);
    const QString path = ReceiptStore::filePath("r");
    if (content == "describe" || content == "spoil") {
        QVERIFY(ReceiptStore::createReceipt("r", "x"));
    } else if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content.toLatin1());
    }
    if (content == "spoil") {
        QCOMPARE(flour().writeTo(path), QString());
        sqlite3 *connection = nullptr;
        sqlite3_open(path.toUtf8().constData(), &connection);
        sqlite3_exec(connection, "UPDATE doserparameters SET taskWeight = '12,5'", nullptr, nullptr,
                     nullptr);
        sqlite3_close(connection);
    }

    ReceiptParameters read = flour();
    read.productName = "unchanged";
    QCOMPARE(read.readFrom(path), message);
    QCOMPARE(read.productName, QString("unchanged"));
    if (content.isEmpty()) {
        QVERIFY(!flour().writeTo(path).isEmpty());
        QVERIFY(!QFile::exists(path));
    }
}

void tst_ReceiptParameters::otherUnitOrDecimalsDoNotFit()
{
    QCOMPARE(flour().mismatchWith("кг", 2), QString());
    QVERIFY(flour().mismatchWith("г", 2).contains("\"г\""));
    QVERIFY(flour().mismatchWith("кг", 1).contains("Рецепт не загружен."));
}

QTEST_GUILESS_MAIN(tst_ReceiptParameters)
#include "tst_receiptparameters.moc"
