#include "receiptdescription.h"
#include "receiptstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {

const QString Placeholder = ReceiptDescriptionPlaceholder.toString();

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class tst_ReceiptStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listsRecipeFilesOnlyInNameOrder();
    void descriptionsRoundTripUnchanged();
    void namesNeverReachOutsideTheStore_data();
    void namesNeverReachOutsideTheStore();
    void forbiddenCharactersNameNoRecipeNewOrRenamed_data();
    void forbiddenCharactersNameNoRecipeNewOrRenamed();
    void linksInTheStoreAreNeitherListedNorFollowed();
    void unusableStoreDirectoryIsReported();

private:
    QString storeFile(const QString &name) const { return outside->filePath("store/" + name); }

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
    writeFile(storeFile("upper.DB"), "");
    // A recipe file as another program might leave it: a database without the description table.
    sqlite3 *connection = nullptr;
    sqlite3_open(storeFile("bare.db").toUtf8().constData(), &connection);
    sqlite3_exec(connection, "CREATE TABLE other (x TEXT);", nullptr, nullptr, nullptr);
    sqlite3_close(connection);

    QCOMPARE(ReceiptStore::receiptNames(), QStringList({"B", "a", "bare"}));
    QVERIFY(!ReceiptStore::createReceipt("B", "again") && !ReceiptStore::createReceipt("c", "x"));
    QCOMPARE(ReceiptStore::readDescription("B"), QString("second"));
    QCOMPARE(ReceiptStore::readDescription("bare"), Placeholder);
    QVERIFY(ReceiptStore::writeDescription("bare", "теперь есть"));
    QCOMPARE(ReceiptStore::readDescription("bare"), QString("теперь есть"));

    writeFile(storeFile("garbage.db"), QByteArray(4096, 'x'));
    QCOMPARE(ReceiptStore::readDescription("garbage"), Placeholder);
    QVERIFY(!ReceiptStore::writeDescription("garbage", "x"));
    // Reading or describing a recipe whose file went away makes no new file.
    QCOMPARE(ReceiptStore::readDescription("gone"), Placeholder);
    QVERIFY(!ReceiptStore::writeDescription("gone", "x"));
    QVERIFY(!QFile::exists(storeFile("gone.db")));
}

void tst_ReceiptStore::descriptionsRoundTripUnchanged()
{
    const QStringList descriptions = {"Мука \"высший сорт\"",
                                      "x\"); DROP TABLE receiptdescription;",
                                      "строка 1\nстрока 2\r\n\nконец"};
    for (const QString &description : descriptions) {
        QVERIFY(ReceiptStore::createReceipt("made", description));
        QCOMPARE(ReceiptStore::readDescription("made"), description);
        QVERIFY(ReceiptStore::writeDescription("made", description + "!"));
        QCOMPARE(ReceiptStore::readDescription("made"), description + "!");
        QVERIFY(ReceiptStore::removeReceipt("made"));
    }
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
    QVERIFY(ReceiptStore::createReceipt("mine", "x"));
    writeFile(outside->filePath("victim.db"), "keep");
    const QDir folder(outside->path());
    const QStringList before = folder.entryList(QDir::NoDotAndDotDot | QDir::AllEntries);

    QVERIFY(!ReceiptStore::createReceipt(name, "x"));
    QVERIFY(!ReceiptStore::renameReceipt("mine", name));
    QVERIFY(!ReceiptStore::renameReceipt(name, "stolen"));
    QVERIFY(!ReceiptStore::removeReceipt(name));
    QVERIFY(!ReceiptStore::writeDescription(name, "x"));

    QCOMPARE(folder.entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
    QCOMPARE(ReceiptStore::receiptNames(), QStringList {"mine"});
    QFile kept(outside->filePath("victim.db"));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep"));
}

void tst_ReceiptStore::forbiddenCharactersNameNoRecipeNewOrRenamed_data()
{
    QTest::addColumn<QString>("name");
    for (const QChar c : ReceiptStore::ForbiddenCharacters)
        QTest::newRow(qPrintable(QString("forbidden ") + c)) << QString("a") + c + "b";
    QTest::newRow("line break") << "a\nb";
}

void tst_ReceiptStore::forbiddenCharactersNameNoRecipeNewOrRenamed()
{
    // Whichever window asks: the store itself keeps such names out of the folder.
    QFETCH(QString, name);
    QVERIFY(ReceiptStore::createReceipt("mine", "x"));
    QVERIFY(!ReceiptStore::createReceipt(name, "x"));
    QVERIFY(!ReceiptStore::renameReceipt("mine", name));
    QCOMPARE(QDir(outside->filePath("store")).entryList(QDir::Files), QStringList {"mine.db"});
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
    writeFile(outside->filePath("file"), "");
    qputenv(ReceiptStore::DirectoryVariable, outside->filePath("file/recipes").toUtf8());
    QVERIFY(!ReceiptStore::createReceiptsStoreDir());
    QVERIFY(!ReceiptStore::createReceipt("x", "x"));

    qputenv(ReceiptStore::DirectoryVariable, outside->filePath("made/recipes").toUtf8());
    QVERIFY(ReceiptStore::createReceiptsStoreDir());
    QCOMPARE(ReceiptStore::filePath("x"), outside->filePath("made/recipes/x.db"));
    QVERIFY(ReceiptStore::createReceipt("x", "x"));
    qunsetenv(ReceiptStore::DirectoryVariable);
}

QTEST_GUILESS_MAIN(tst_ReceiptStore)
#include "tst_receiptstore.moc"
