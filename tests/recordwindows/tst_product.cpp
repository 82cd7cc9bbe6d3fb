#include "keyboarddriver.h"
#include "product.h"
#include "temporarydatabase.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {

enum class Answer { Yes, No, Closed };

// Answers every question the window asks and keeps what it asked.
class Operator
{
public:
    explicit Operator(Product &product)
    {
        ModalPrompts prompts;
        prompts.runBox = [this](QMessageBox *box) { return answer(box); };
        product.setPrompts(prompts);
    }

    Answer reply = Answer::No;
    QStringList questions;

private:
    QAbstractButton *answer(QMessageBox *box)
    {
        questions << box->windowTitle() + " | " + box->text() + " | default "
                         + box->defaultButton()->text();
        const QString wanted = reply == Answer::Yes ? "Да" : "Нет";
        for (QAbstractButton *button : box->buttons()) {
            if (reply != Answer::Closed && button->text() == wanted)
                return button;
        }
        return nullptr;
    }
};

void addProducts(TemporaryDatabase &records, const QStringList &names)
{
    QVERIFY(records.createTables());
    for (const QString &name : names)
        QVERIFY(records.exec("INSERT INTO product (productName) VALUES (?1)", {name}));
}

QStringList shownNames(const Product &product)
{
    QStringList names;
    for (int row = 0; row < product.productTable->rowCount(); ++row)
        names << product.productTable->item(row, 0)->text();
    return names;
}

void clickRow(Product &product, int row)
{
    QTableWidget *table = product.productTable;
    const QRect cell = table->visualItemRect(table->item(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
}

void addName(Product &product, const QString &name)
{
    product.newProductName->setText(name);
    product.addButton->click();
}

QStringList storedNames(TemporaryDatabase &records)
{
    return records.select("SELECT productName FROM product ORDER BY idProduct");
}

} // namespace

class tst_Product : public QObject
{
    Q_OBJECT

private slots:
    void productsAreShownByNameWithTheirIdsHidden();
    void deleteBeforeAnyClickAsksNothing();
    void onlyYesDeletesTheClickedProduct_data();
    void onlyYesDeletesTheClickedProduct();
    void addingKeepsTheClickedProductAndAllowsDuplicates();
    void namesAreStoredExactlyAsTyped_data();
    void namesAreStoredExactlyAsTyped();
    void emptyNameAddsNothing();
    void productIsAddedWithTheOnScreenKeyboardAlone();
    void windowBuiltBeforeTheTablesWorksOnceTheyExist();
    void deletingTheLastProductEmptiesTheList();
    void everyWayOfClosingOnlyHidesAndKeepsTheSelection_data();
    void everyWayOfClosingOnlyHidesAndKeepsTheSelection();
    void brokenDatabaseLeavesTheListEmpty_data();
    void brokenDatabaseLeavesTheListEmpty();
};

void tst_Product::productsAreShownByNameWithTheirIdsHidden()
{
    TemporaryDatabase records;
    addProducts(records, {"Мука", "Сахар"});
    Product product(records.path());

    QCOMPARE(shownNames(product), QStringList({"Мука", "Сахар"}));
    QCOMPARE(product.productTable->item(1, 1)->text(), QString("2"));
    QVERIFY(product.productTable->isColumnHidden(1));
    QVERIFY(!product.productTable->isColumnHidden(0));
    QVERIFY(product.productTable->verticalHeader()->isHidden());
    QCOMPARE(product.productTable->horizontalHeaderItem(0)->text(), QString("Вид продукта"));

    const QString output = qEnvironmentVariable("K310_TEST_OUTPUT");
    if (!output.isEmpty() && QDir().mkpath(output)) {
        product.show();
        product.grab().save(output + "/product.png");
    }
}

void tst_Product::deleteBeforeAnyClickAsksNothing()
{
    TemporaryDatabase records;
    addProducts(records, {"Мука"});
    Product product(records.path());
    Operator person(product);
    person.reply = Answer::Yes;

    product.delButton->click();
    QVERIFY(person.questions.isEmpty());
    QCOMPARE(storedNames(records), QStringList {"Мука"});
}

void tst_Product::onlyYesDeletesTheClickedProduct_data()
{
    QTest::addColumn<Answer>("reply");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("Да") << Answer::Yes << QStringList({"Мука", "Соль"});
    QTest::newRow("Нет") << Answer::No << QStringList({"Мука", "Сахар", "Соль"});
    QTest::newRow("box closed") << Answer::Closed << QStringList({"Мука", "Сахар", "Соль"});
}

void tst_Product::onlyYesDeletesTheClickedProduct()
{
    QFETCH(Answer, reply);
    QFETCH(QStringList, left);
    TemporaryDatabase records;
    addProducts(records, {"Мука", "Сахар", "Соль"});
    Product product(records.path());
    Operator person(product);
    product.show();
    clickRow(product, 1);

    person.reply = reply;
    product.delButton->click();
    QCOMPARE(person.questions,
             QStringList {"Сообщение | Удалить выбранный вид продукта? | default Нет"});
    QCOMPARE(storedNames(records), left);
    QCOMPARE(shownNames(product), left);

    // After a deletion nothing is selected; after a refusal the same product is asked about.
    person.reply = Answer::No;
    product.delButton->click();
    QCOMPARE(person.questions.size(), reply == Answer::Yes ? 1 : 2);
}

void tst_Product::addingKeepsTheClickedProductAndAllowsDuplicates()
{
    TemporaryDatabase records;
    addProducts(records, {"Мука", "Сахар"});
    Product product(records.path());
    Operator person(product);
    product.show();
    clickRow(product, 0);

    addName(product, "Мука");
    QCOMPARE(shownNames(product), QStringList({"Мука", "Сахар", "Мука"}));
    QCOMPARE(product.newProductName->text(), QString("Мука"));
    QVERIFY(product.productTable->selectedItems().isEmpty());

    person.reply = Answer::Yes;
    product.delButton->click();
    QCOMPARE(person.questions.size(), 1);
    QCOMPARE(records.select("SELECT idProduct, productName FROM product ORDER BY idProduct"),
             QStringList({"2", "Сахар", "3", "Мука"}));
}

void tst_Product::namesAreStoredExactlyAsTyped_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blanks around") << "  Мука  ";
    QTest::newRow("double quotes") << "Сахар \"Экстра\"";
    QTest::newRow("statement end") << "x\"); DROP TABLE product; --";
    QTest::newRow("semicolon and apostrophe") << "соль; 'йод'";
    QTest::newRow("column name") << "idProduct";
}

void tst_Product::namesAreStoredExactlyAsTyped()
{
    QFETCH(QString, name);
    TemporaryDatabase records;
    addProducts(records, {"Мука"});
    Product product(records.path());

    addName(product, name);
    QCOMPARE(storedNames(records), QStringList({"Мука", name}));
    QCOMPARE(shownNames(product), QStringList({"Мука", name}));
}

void tst_Product::emptyNameAddsNothing()
{
    TemporaryDatabase records;
    addProducts(records, {});
    Product product(records.path());

    addName(product, "");
    QVERIFY(storedNames(records).isEmpty());
}

void tst_Product::windowBuiltBeforeTheTablesWorksOnceTheyExist()
{
    TemporaryDatabase records;
    Product product(records.path());
    QCOMPARE(product.productTable->rowCount(), 0);

    QVERIFY(records.createTables());
    addName(product, "Мука");
    QCOMPARE(shownNames(product), QStringList {"Мука"});
}

void tst_Product::deletingTheLastProductEmptiesTheList()
{
    TemporaryDatabase records;
    addProducts(records, {"Мука"});
    Product product(records.path());
    Operator person(product);
    person.reply = Answer::Yes;
    product.show();

    clickRow(product, 0);
    product.delButton->click();
    QCOMPARE(product.productTable->rowCount(), 0);
    QVERIFY(storedNames(records).isEmpty());
}

void tst_Product::everyWayOfClosingOnlyHidesAndKeepsTheSelection_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("closeClicks");

    QTest::newRow("Закрыть") << "button" << 1;
    QTest::newRow("window's close control") << "close" << 0;
    QTest::newRow("Escape") << "escape" << 0;
}

void tst_Product::everyWayOfClosingOnlyHidesAndKeepsTheSelection()
{
    QFETCH(QString, way);
    QFETCH(int, closeClicks);
    TemporaryDatabase records;
    addProducts(records, {"Мука", "Сахар"});
    auto *product = new Product(records.path());
    const QPointer<Product> alive(product);
    Operator person(*product);
    QSignalSpy hidden(product, &Product::windowHided);
    QSignalSpy closeClicked(product, &Product::closeClicked);
    product->show();
    QVERIFY(QTest::qWaitForWindowExposed(product));
    clickRow(*product, 1);

    if (way == "button")
        product->closeButton->click();
    else if (way == "close")
        product->close();
    else
        QTest::keyClick(product, Qt::Key_Escape);

    QVERIFY(product->isHidden());
    QCOMPARE(hidden.count(), 1);
    QCOMPARE(closeClicked.count(), closeClicks);
    QCoreApplication::processEvents();
    QVERIFY(alive);

    product->show();
    person.reply = Answer::Yes;
    product->delButton->click();
    QCOMPARE(storedNames(records), QStringList {"Мука"});

    QTest::ignoreMessage(QtDebugMsg, "~Product()");
    delete product;
}

void tst_Product::brokenDatabaseLeavesTheListEmpty_data()
{
    QTest::addColumn<TemporaryDatabase::Broken>("how");
    QTest::newRow("not a database") << TemporaryDatabase::Broken::NotADatabase;
    QTest::newRow("read-only") << TemporaryDatabase::Broken::ReadOnly;
    QTest::newRow("missing directory") << TemporaryDatabase::Broken::MissingDirectory;
}

void tst_Product::brokenDatabaseLeavesTheListEmpty()
{
    QFETCH(TemporaryDatabase::Broken, how);
    TemporaryDatabase records;
    const QString fileName = records.spoil(how);

    Product product(fileName);
    Operator person(product);
    addName(product, "Мука");
    QCOMPARE(product.productTable->rowCount(), 0);
    QVERIFY(person.questions.isEmpty());
}

void tst_Product::productIsAddedWithTheOnScreenKeyboardAlone()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    Product product(records.path());
    product.show();

    QTest::mouseClick(product.newProductName, Qt::LeftButton);
    QVERIFY(KeyboardDriver::openKeyboard());
    QCOMPARE(KeyboardDriver::openKeyboard()->windowTitle(), QString("Новый продукт"));
    QVERIFY(KeyboardDriver::press("Shift"));
    QVERIFY(KeyboardDriver::type("Сахар-песок 1"));
    QVERIFY(KeyboardDriver::press("Enter"));
    QCOMPARE(product.newProductName->text(), QString("Сахар-песок 1"));
    QTest::mouseClick(product.addButton, Qt::LeftButton);

    // The next name starts from the one shown, as the full keyboard opens with the field's text.
    QTest::mouseClick(product.newProductName, Qt::LeftButton);
    QVERIFY(KeyboardDriver::press("<-"));
    QVERIFY(KeyboardDriver::type("2"));
    QVERIFY(KeyboardDriver::press("Enter"));
    QTest::mouseClick(product.addButton, Qt::LeftButton);

    QCOMPARE(storedNames(records), QStringList({"Сахар-песок 1", "Сахар-песок 2"}));
    QCOMPARE(shownNames(product), storedNames(records));
}

QTEST_MAIN(tst_Product)
#include "tst_product.moc"
