#include "receiptbutton.h"
#include "receiptdescription.h"
#include "receiptdialog.h"
#include "receiptstore.h"
#include "savereceiptdialog.h"
#include "scriptedoperator.h"
#include "temporarystore.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// The host's side of the protocol, as a console wires it: it opens the manager when asked and
// answers every request at once, with success or failure as the test says.
class Host : public QObject
{
public:
    explicit Host(ReceiptButton &panel)
        : panel(panel)
    {
        panel.createReceiptsStoreDir();
        panel.receiptDialog()->setPrompts(person.prompts());
        connect(&panel, &ReceiptButton::receiptDialogOpened, this, [&panel] {
            panel.enableChangeLoadReceiptButtons();
            panel.showReceiptDialog();
        });
        connect(&panel, &ReceiptButton::createReceiptButtonClicked, &panel,
                &ReceiptButton::showCreateReceiptDialog);
        connect(&panel, &ReceiptButton::receiptCanBeLoaded, this, [this](const QString &path) {
            requests << "load " + path;
            succeed ? this->panel.receiptWasLoaded() : this->panel.receiptWasNotLoaded();
        });
        connect(&panel, &ReceiptButton::receiptCanBeRewrited, this, [this](const QString &path) {
            requests << "rewrite " + path;
            succeed ? this->panel.receiptWasRewrited() : this->panel.receiptWasNotRewrited();
        });
        connect(&panel, &ReceiptButton::receiptCanBeSaved, this, [this](const QString &path) {
            requests << "save " + path;
            succeed ? this->panel.receiptWasSaved() : this->panel.receiptWasNotSaved();
        });
    }

    // Touches the panel and selects the recipe in the manager.
    void open(const QString &name)
    {
        QTest::mouseClick(panel.receiptEditorButton, Qt::LeftButton);
        ReceiptDialog *manager = panel.receiptDialog();
        for (int row = 0; row < manager->receiptListWidget->count(); ++row) {
            if (manager->receiptListWidget->item(row)->text() == name + "\n")
                manager->receiptListWidget->setCurrentRow(row);
        }
    }

    ReceiptButton &panel;
    ScriptedOperator person;
    bool succeed = true;
    QStringList requests;
};

} // namespace

class tst_ReceiptButton : public QObject
{
    Q_OBJECT

private slots:
    void hostAnswersAndRenamesDecideThePanelText();
    void newRecipeBecomesCurrentAndListed();
    void repeatDelayIsSharedByEveryManager();
};

void tst_ReceiptButton::hostAnswersAndRenamesDecideThePanelText()
{
    TemporaryStore store({"a", "b"});
    ReceiptButton panel;
    Host host(panel);
    QSignalSpy loaded(panel.receiptDialog(), &ReceiptDialog::receiptLoaded);

    host.open("b");
    host.succeed = false;
    panel.receiptDialog()->loadReceiptButton->click();
    QCOMPARE(host.requests, QStringList {"load " + store.file("b")});
    QCOMPARE(panel.receiptEditorButton->text(), QString("отсутствует"));
    QCOMPARE(loaded.count(), 0);
    QVERIFY(!panel.receiptDialog()->isVisible());

    host.open("b");
    host.succeed = true;
    panel.receiptDialog()->loadReceiptButton->click();
    QCOMPARE(panel.receiptName(), QString("b"));

    host.open("a");
    host.succeed = false;
    panel.receiptDialog()->changeReceiptButton->click();
    QCOMPARE(panel.receiptName(), QString("b"));
    host.open("a");
    host.succeed = true;
    panel.receiptDialog()->changeReceiptButton->click();
    QCOMPARE(panel.receiptName(), QString("a"));
    QCOMPARE(host.requests.last(), "rewrite " + store.file("a"));

    // An answer with no request behind it changes nothing.
    panel.receiptWasLoaded();
    QCOMPARE(loaded.count(), 1);

    host.open("b");
    panel.receiptDialog()->receiptNamelineEdit->acceptKeyboardText("c");
    QCOMPARE(panel.receiptName(), QString("a"));
    host.open("a");
    panel.receiptDialog()->receiptNamelineEdit->acceptKeyboardText("d");
    QCOMPARE(panel.receiptName(), QString("d"));
}

void tst_ReceiptButton::newRecipeBecomesCurrentAndListed()
{
    TemporaryStore store({"a"});
    ReceiptButton panel;
    Host host(panel);
    host.open("a");
    panel.receiptDialog()->createReceiptButton->click();
    SaveReceiptDialog *creation = panel.saveReceiptDialog();
    QVERIFY(creation->isVisible());

    creation->receiptNamelineEdit->acceptKeyboardText("Новый");
    host.succeed = false;
    creation->saveButton->click();
    QCOMPARE(ReceiptStore::receiptNames(), QStringList {"a"});
    QVERIFY(creation->isVisible());
    host.succeed = true;
    creation->saveButton->click();
    QCOMPARE(host.requests.last(), "save " + store.file("Новый"));
    QCOMPARE(ReceiptStore::readDescription("Новый"), ReceiptDescriptionPlaceholder.toString());
    QCOMPARE(panel.receiptName(), QString("Новый"));
    QVERIFY(!creation->isVisible() && !panel.receiptDialog()->isVisible());

    host.open(QString());
    QCOMPARE(panel.receiptDialog()->receiptListWidget->currentItem()->text(), QString("Новый\n"));
}

void tst_ReceiptButton::repeatDelayIsSharedByEveryManager()
{
    TemporaryStore store({"1", "2", "3", "4", "5", "6", "7", "8", "9"});
    ReceiptButton tuned;
    ReceiptButton other;
    Host host(other);
    tuned.setProperty("repeatdelay", 1000u);
    QCOMPARE(other.property("repeatdelay").toUInt(), 1000u);

    host.open("1");
    ReceiptDialog *manager = other.receiptDialog();
    QTRY_VERIFY(manager->downButton->isEnabled());
    QTest::mousePress(manager->downButton, Qt::LeftButton);
    QTest::qWait(600);
    QTest::mouseRelease(manager->downButton, Qt::LeftButton);
    QCOMPARE(manager->receiptListWidget->currentRow(), 1);
    tuned.setProperty("repeatdelay", 300u);
}

QTEST_MAIN(tst_ReceiptButton)
#include "tst_receiptbutton.moc"
