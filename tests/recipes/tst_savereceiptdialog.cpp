#include "dialogcheck.h"
#include "receiptdescription.h"
#include "receiptnamemessages.h"
#include "receiptstore.h"
#include "savereceiptdialog.h"
#include "scriptedoperator.h"
#include "temporarystore.h"

#include <QFile>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

class tst_SaveReceiptDialog : public QObject
{
    Q_OBJECT

private slots:
    void refusedNamesCreateNothing_data();
    void refusedNamesCreateNothing();
    void savedRecipeWaitsForTheHostThenResets();
    void heldDescriptionButtonsScrollToEitherEnd();
};

void tst_SaveReceiptDialog::refusedNamesCreateNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("warning");
    QTest::newRow("empty") << "" << EmptyReceiptNameMessage.toString();
    QTest::newRow("existing") << "test" << receiptExistsMessage("test");
    for (const QChar c : ReceiptStore::ForbiddenCharacters.toString() + "\n")
        QTest::newRow(qPrintable(c == u'\n' ? QString("line break") : QString("forbidden ") + c))
            << QString("a") + c + "b" << ForbiddenCharactersMessage.toString();
}

void tst_SaveReceiptDialog::refusedNamesCreateNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, warning);
    TemporaryStore store({"test"});
    SaveReceiptDialog dialog;
    ScriptedOperator person;
    dialog.setPrompts(person.prompts());
    QSignalSpy asked(&dialog, &SaveReceiptDialog::receiptCanBeSaved);
    dialog.show();

    dialog.receiptNamelineEdit->acceptKeyboardText(name);
    dialog.saveButton->click();
    QCOMPARE(person.asked, QStringList {ReceiptMessageTitle.toString() + " | " + warning});
    QCOMPARE(dialog.receiptNamelineEdit->text(), name);
    QVERIFY(dialog.isVisible() && dialog.saveButton->isEnabled());
    dialog.cancelButton->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(ReceiptStore::receiptNames(), QStringList {"test"});
    QCOMPARE(asked.count(), 0);
}

void tst_SaveReceiptDialog::savedRecipeWaitsForTheHostThenResets()
{
    TemporaryStore store;
    SaveReceiptDialog dialog;
    QSignalSpy asked(&dialog, &SaveReceiptDialog::receiptCanBeSaved);
    QSignalSpy saved(&dialog, &SaveReceiptDialog::receiptSaved);
    DialogCheck::useConsoleLook();
    dialog.show();
    QCOMPARE(DialogCheck::layoutFault(&dialog), QString());
    DialogCheck::saveScreenshot(&dialog, "saveReceiptDialog");
    dialog.receiptNamelineEdit->acceptKeyboardText("Хлеб");
    dialog.descriptionTextEdit->acceptKeyboardText("ржаной");
    dialog.saveButton->click();
    QCOMPARE(ReceiptStore::readDescription("Хлеб"), QString("ржаной"));
    dialog.receiptWasNotSaved();
    QVERIFY(!QFile::exists(store.file("Хлеб")));
    QCOMPARE(dialog.receiptNamelineEdit->text(), QString("Хлеб"));

    dialog.saveButton->click();
    QCOMPARE(asked.last().first().toString(), store.file("Хлеб"));
    QCOMPARE(ReceiptStore::readDescription("Хлеб"), QString("ржаной"));
    QVERIFY(!dialog.saveButton->isEnabled() && !dialog.cancelButton->isEnabled());
    dialog.reject();
    QVERIFY(dialog.isVisible());

    dialog.receiptWasSaved();
    QCOMPARE(saved.takeFirst().first().toString(), QString("Хлеб"));
    QVERIFY(!dialog.isVisible() && dialog.saveButton->isEnabled());
    QVERIFY(dialog.receiptNamelineEdit->text().isEmpty());
    QCOMPARE(dialog.descriptionTextEdit->toPlainText(), ReceiptDescriptionPlaceholder.toString());
    dialog.receiptWasSaved();
    QCOMPARE(saved.count(), 0);
}

void tst_SaveReceiptDialog::heldDescriptionButtonsScrollToEitherEnd()
{
    SaveReceiptDialog dialog;
    dialog.show();
    dialog.descriptionTextEdit->acceptKeyboardText(QString("строка\n").repeated(15));
    QScrollBar *bar = dialog.descriptionTextEdit->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    QVERIFY(dialog.downDescrButton->isEnabled() && !dialog.upDescrButton->isEnabled());

    QTest::mousePress(dialog.downDescrButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bar->value(), bar->maximum(), 20000);
    QVERIFY(!dialog.downDescrButton->isEnabled() && dialog.upDescrButton->isEnabled());
    QTest::mousePress(dialog.upDescrButton, Qt::LeftButton);
    QTest::qWait(50);
    QTest::mouseRelease(dialog.upDescrButton, Qt::LeftButton);
    const int stopped = bar->value();
    QVERIFY(stopped > 0 && stopped < bar->maximum());
    QTest::qWait(50);
    QCOMPARE(bar->value(), stopped);
}

QTEST_MAIN(tst_SaveReceiptDialog)
#include "tst_savereceiptdialog.moc"
