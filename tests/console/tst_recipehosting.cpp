#include "consolerig.h"
#include "k310_halvern.h"
#include "receiptbutton.h"
#include "receiptdialog.h"
#include "receiptparameters.h"
#include "receiptstore.h"
#include "savereceiptdialog.h"

#include <QFile>
#include <QGroupBox>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The console with a recipe store of its own, the operator consenting to every question.
class RecipeRig : public ConsoleRig
{
public:
    RecipeRig()
    {
        qputenv(ReceiptStore::DirectoryVariable, QFile::encodeName(store.path()));
        ReceiptStore::setStoreDirectory(store.path());
    }

    bool start()
    {
        if (!startSimulator(quickDoser()))
            return false;
        startConsole();
        panel = console()->findChild<ReceiptButton *>("receiptButton");
        panel->receiptDialog()->setPrompts(operatorPrompts());
        panel->saveReceiptDialog()->setPrompts(operatorPrompts());
        operatorAtPanel().otherwise = "Да";
        return panel != nullptr;
    }

    void setTolerances(const QString &plus, const QString &minus)
    {
        enter("doseFaultPlusK310_11", plus);
        enter("doseFaultMinusK310_11", minus);
        QTRY_COMPARE_WITH_TIMEOUT(text("doseFaultPlusK310_11").toDouble(), plus.toDouble(),
                                  ConsoleRig::ConnectedMs);
        QTRY_COMPARE_WITH_TIMEOUT(text("doseFaultMinusK310_11").toDouble(), minus.toDouble(),
                                  ConsoleRig::ConnectedMs);
    }

    void saveAs(const QString &name)
    {
        QTest::mouseClick(panel->receiptEditorButton, Qt::LeftButton);
        QTest::mouseClick(panel->receiptDialog()->createReceiptButton, Qt::LeftButton);
        SaveReceiptDialog *creation = panel->saveReceiptDialog();
        QVERIFY(creation->isVisible());
        creation->receiptNamelineEdit->acceptKeyboardText(name);
        QTest::mouseClick(creation->saveButton, Qt::LeftButton);
    }

    // Opens the manager on the recipe; returns its load button.
    QPushButton *openAt(const QString &name)
    {
        QTest::mouseClick(panel->receiptEditorButton, Qt::LeftButton);
        ReceiptDialog *manager = panel->receiptDialog();
        for (int row = 0; row < manager->receiptListWidget->count(); ++row) {
            if (manager->receiptListWidget->item(row)->text().trimmed() == name)
                manager->receiptListWidget->setCurrentRow(row);
        }
        return manager->loadReceiptButton;
    }

    QTemporaryDir store;
    ReceiptButton *panel = nullptr;
};

} // namespace

class tst_RecipeHosting : public QObject
{
    Q_OBJECT

private slots:
    void loadedRecipeBringsBackProductWeightAndTheDosersTolerances();
    void recipesThatDoNotFitAreRefusedAndABatchGatesLoading();
};

void tst_RecipeHosting::loadedRecipeBringsBackProductWeightAndTheDosersTolerances()
{
    RecipeRig rig;
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.text("doseFaultPlusK310_11").isEmpty(), ConsoleRig::ConnectedMs);
    rig.prepareBatch("Мука", "25");
    rig.setTolerances("1", "0.8");
    rig.saveAs("Мука 25");
    QCOMPARE(rig.panel->receiptName(), QString("Мука 25"));

    rig.prepareBatch("Сахар", "40");
    rig.setTolerances("2", "1.5");
    auto *title = rig.console()->findChild<QGroupBox *>("containerK310_11");
    QVERIFY(title->title().endsWith("Сахар"));

    QTest::mouseClick(rig.openAt("Мука 25"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("doseFaultPlusK310_11"), QString("1.00"),
                              ConsoleRig::ConnectedMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("doseFaultMinusK310_11"), QString("0.80"),
                              ConsoleRig::ConnectedMs);
    QCOMPARE(rig.text("productWeightK310_11"), QString("25.00"));
    QVERIFY(title->title().endsWith("Мука"));
    QCOMPARE(rig.panel->receiptName(), QString("Мука 25"));
    QVERIFY(!rig.panel->receiptDialog()->isVisible());
}

void tst_RecipeHosting::recipesThatDoNotFitAreRefusedAndABatchGatesLoading()
{
    RecipeRig rig;
    QVERIFY(rig.start());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.text("doseFaultPlusK310_11").isEmpty(), ConsoleRig::ConnectedMs);

    ReceiptStore::createReceipt("в граммах", QString());
    ReceiptParameters grams {"Мука", "25000", "", "", "г", 0};
    QVERIFY(grams.writeTo(ReceiptStore::filePath("в граммах")).isEmpty());
    ReceiptStore::createReceipt("испорчен", QString());
    QFile spoiled(ReceiptStore::filePath("испорчен"));
    QVERIFY(spoiled.open(QIODevice::WriteOnly));
    spoiled.write(QByteArray(2048, 'x'));
    spoiled.close();

    for (const QString &name : {QString("в граммах"), QString("испорчен")}) {
        const int shown = rig.operatorAtPanel().shown.size();
        QTest::mouseClick(rig.openAt(name), Qt::LeftButton);
        QCOMPARE(rig.operatorAtPanel().shown.size(), shown + 2);
        QVERIFY(rig.panel->receiptName().isEmpty());
        QVERIFY(rig.text("productWeightK310_11").isEmpty());
    }

    rig.operatorAtPanel().answer("Начать новую работу?", "Да");
    rig.prepareBatch("Мука", "50");
    rig.click("startButton");
    QVERIFY(!rig.openAt("в граммах")->isEnabled());
}

QTEST_MAIN(tst_RecipeHosting)
#include "tst_recipehosting.moc"
