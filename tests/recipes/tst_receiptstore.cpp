#include "receiptdescription.h"
#include "receiptstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {

void writeFile(const QString &path, const QByteArray &content = QByteArray())
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A recipe file as another program might leave it: a database without the description table.
void writeBareDatabase(const QString &path)
{
    sqlite3 *connection = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &connection), SQLITE_OK);
    sqlite3_exec(connection, "CREATE TABLE other (x TEXT);", nullptr, nullptr, nullptr);
    sqlite3_close(connection);
}

} // namespace

class tst_ReceiptStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listsRecipeFilesOnlyInNameOrder();
    void descriptionsRoundTripUnchanged_data();
    void descriptionsRoundTripUnchanged();
    void fileWithoutDescriptionReadsAsPlaceholderAndTakesOne();
    void namesNeverReachOutsideTheStore_data();
    void namesNeverReachOutsideTheStore();
    void linksInTheStoreAreNeitherListedNorFollowed();
    void unusableStoreDirectoryIsReported();

private:
    QString storeFile(const QString &fileName) const
    {
        return outside->filePath("store/" + fileName);
    }

    std::unique_ptr<QTemporaryDir> outside;
};

void tst_ReceiptStore::init()
{
    // The store lies inside the folder that names must not reach, so ".." leads right into it.
    outside = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(outside->path()).mkdir("store"));
    ReceiptStore::setStoreDirectory(outside->filePath("store"));
}

void tst_ReceiptStore::listsRecipeFilesOnlyInNameOrder()
{
    QVERIFY(ReceiptStore::createReceipt("a", "first"));
    QVERIFY(ReceiptStore::createReceipt("B", "second"));
    QVERIFY(QDir().mkdir(storeFile("c.db")));
    writeFile(storeFile("notes.txt"));
    writeFile(storeFile("upper.DB"));

    QCOMPARE(ReceiptStore::receiptNames(), QStringList({"B", "a"}));
    QCOMPARE(ReceiptStore::filePath("a"), storeFile("a.db"));
    QVERIFY(ReceiptStore::exists("c"));
    QVERIFY(!ReceiptStore::createReceipt("B", "again"));
    QCOMPARE(ReceiptStore::readDescription("B"), QString("second"));
}

void tst_ReceiptStore::descriptionsRoundTripUnchanged_data()
{
    QTest::addColumn<QString>("description");
    QTest::newRow("double quote") << "Мука \"высший сорт\"";
    QTest::newRow("semicolon and SQL") << "x\"); DROP TABLE receiptdescription; --";
    QTest::newRow("line breaks") << "строка 1\nстрока 2\r\n\nконец";
}

void tst_ReceiptStore::descriptionsRoundTripUnchanged()
{
    QFETCH(QString, description);
    QVERIFY(ReceiptStore::createReceipt("made", description));
    QCOMPARE(ReceiptStore::readDescription("made"), description);

    QVERIFY(ReceiptStore::createReceipt("changed", "old"));
    QVERIFY(ReceiptStore::writeDescription("changed", description));
    QCOMPARE(ReceiptStore::readDescription("changed"), description);
}

void tst_ReceiptStore::fileWithoutDescriptionReadsAsPlaceholderAndTakesOne()
{
    writeBareDatabase(storeFile("bare.db"));
    QCOMPARE(ReceiptStore::receiptNames(), QStringList {"bare"});
    QCOMPARE(ReceiptStore::readDescription("bare"), ReceiptDescriptionPlaceholder.toString());
    QVERIFY(ReceiptStore::writeDescription("bare", "теперь есть"));
    QCOMPARE(ReceiptStore::readDescription("bare"), QString("теперь есть"));

    writeFile(storeFile("garbage.db"), QByteArray(4096, 'x'));
    QCOMPARE(ReceiptStore::readDescription("garbage"), ReceiptDescriptionPlaceholder.toString());
    QVERIFY(!ReceiptStore::writeDescription("garbage", "x"));

    // Reading or describing a recipe whose file went away makes no new file.
    QCOMPARE(ReceiptStore::readDescription("gone"), ReceiptDescriptionPlaceholder.toString());
    QVERIFY(!ReceiptStore::writeDescription("gone", "x"));
    QVERIFY(!QFile::exists(storeFile("gone.db")));
}

void tst_ReceiptStore::namesNeverReachOutsideTheStore_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << "../victim";
    QTest::newRow("absolute") << "ABSOLUTE";
    QTest::newRow("backslash") << "..\\victim";
    QTest::newRow("nul") << QString("victim") + QChar(0) + "x";
}

void tst_ReceiptStore::namesNeverReachOutsideTheStore()
{
    QFETCH(QString, name);
    if (name == "ABSOLUTE")
        name = outside->filePath("victim");
    const QString victim = outside->filePath("victim.db");
    QVERIFY(ReceiptStore::createReceipt("mine", "x"));
    writeFile(victim, "keep");
    const QStringList before =
        QDir(outside->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);

    QVERIFY(!ReceiptStore::createReceipt(name, "x"));
    QVERIFY(!ReceiptStore::renameReceipt("mine", name));
    QVERIFY(!ReceiptStore::renameReceipt(name, "stolen"));
    QVERIFY(!ReceiptStore::removeReceipt(name));
    QVERIFY(!ReceiptStore::writeDescription(name, "x"));

    QCOMPARE(QDir(outside->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
    QFile kept(victim);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep"));
    QVERIFY(QFile::exists(storeFile("mine.db")));
    QVERIFY(!QFile::exists(storeFile("stolen.db")));
}

void tst_ReceiptStore::linksInTheStoreAreNeitherListedNorFollowed()
{
    const QString victim = outside->filePath("victim.db");
    QVERIFY(ReceiptStore::createReceipt("victim", "outside"));
    QVERIFY(QFile::rename(storeFile("victim.db"), victim));
    QVERIFY(QFile::link(victim, storeFile("link.db")));
    QVERIFY(QFile::link(outside->filePath("new.db"), storeFile("dangling.db")));

    QCOMPARE(ReceiptStore::receiptNames(), QStringList());
    QVERIFY(!ReceiptStore::writeDescription("link", "changed"));
    QVERIFY(!ReceiptStore::renameReceipt("link", "moved"));
    QVERIFY(!ReceiptStore::removeReceipt("link"));
    QVERIFY(!ReceiptStore::createReceipt("dangling", "x"));
    QVERIFY(!QFile::exists(outside->filePath("new.db")));

    ReceiptStore::setStoreDirectory(outside->path());
    QCOMPARE(ReceiptStore::readDescription("victim"), QString("outside"));
}

void tst_ReceiptStore::unusableStoreDirectoryIsReported()
{
    writeFile(outside->filePath("file"));
    qputenv(ReceiptStore::DirectoryVariable, outside->filePath("file/recipes").toUtf8());
    QVERIFY(!ReceiptStore::createReceiptsStoreDir());
    QVERIFY(!ReceiptStore::createReceipt("x", "x"));

    qputenv(ReceiptStore::DirectoryVariable, outside->filePath("made/recipes").toUtf8());
    QVERIFY(ReceiptStore::createReceiptsStoreDir());
    QCOMPARE(ReceiptStore::receiptsStorePath(), outside->filePath("made/recipes") + "/");
    QVERIFY(ReceiptStore::createReceipt("x", "x"));
    qunsetenv(ReceiptStore::DirectoryVariable);
}

QTEST_GUILESS_MAIN(tst_ReceiptStore)
#include "tst_receiptstore.moc"
