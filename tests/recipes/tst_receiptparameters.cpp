#include "receiptparameters.h"
#include "receiptstore.h"
#include "temporarystore.h"

#include <QFile>
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

} // namespace

class tst_ReceiptParameters : public QObject
{
    Q_OBJECT

private slots:
    void rewritingKeepsOneRowAndEveryDigit();
    void unusableFilesAreRefusedWithAMessage_data();
    void unusableFilesAreRefusedWithAMessage();
};

void tst_ReceiptParameters::rewritingKeepsOneRowAndEveryDigit()
{
    TemporaryStore store({"Рецепт"});
    const QString path = store.file("Рецепт");
    QCOMPARE(flour().writeTo(path), QString());
    ReceiptParameters sugar = flour();
    sugar.productName = "Сахар";
    sugar.taskWeight = "0.00";
    sugar.doseFaultMinus.clear();
    QCOMPARE(sugar.writeTo(path), QString());
    ReceiptParameters spoiled = flour();
    spoiled.taskWeight = "1250.5";
    QVERIFY(!spoiled.writeTo(path).isEmpty());

    ReceiptParameters read;
    QCOMPARE(read.readFrom(path), QString());
    QVERIFY(read == sugar);
    sqlite3 *connection = nullptr;
    sqlite3_open(path.toUtf8().constData(), &connection);
    sqlite3_exec(connection, "UPDATE doserparameters SET taskWeight = '12,5'", nullptr, nullptr,
                 nullptr);
    sqlite3_close(connection);
    QCOMPARE(read.readFrom(path), QString("Параметры рецепта \"Рецепт\" повреждены."));
    QVERIFY(read == sugar);

    QCOMPARE(flour().mismatchWith("кг", 2), QString());
    QVERIFY(flour().mismatchWith("г", 2).contains("Рецепт не загружен."));
    QVERIFY(!flour().mismatchWith("кг", 1).isEmpty());
}

void tst_ReceiptParameters::unusableFilesAreRefusedWithAMessage_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << "Файл рецепта \"r\" не найден.";
    QTest::newRow("not a database")
        << QByteArray(4096, 'x') << "Файл рецепта \"r\" повреждён: это не база данных рецепта.";
    QTest::newRow("description only")
        << QByteArray("recipe") << "В рецепте \"r\" нет параметров работы дозатора.";
}

void tst_ReceiptParameters::unusableFilesAreRefusedWithAMessage()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    TemporaryStore store(content == "recipe" ? QStringList {"r"} : QStringList());
    QFile file(store.file("r"));
    if (content.size() > 100) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
    }
    ReceiptParameters read = flour();
    QCOMPARE(read.readFrom(file.fileName()), message);
    QVERIFY(read == flour());
    QCOMPARE(flour().writeTo(file.fileName()).isEmpty(), content == "recipe");
    QCOMPARE(file.exists(), !content.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ReceiptParameters)
#include "tst_receiptparameters.moc"
