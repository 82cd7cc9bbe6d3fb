#include "dialogcheck.h"
#include "receiptdescription.h"
#include "receiptdialog.h"
#include "receiptnamemessages.h"
#include "receiptstore.h"
#include "scriptedoperator.h"
#include "temporarystore.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList listed(const ReceiptDialog &dialog)
{
    QStringList texts;
    for (int row = 0; row < dialog.receiptListWidget->count(); ++row)
        texts << dialog.receiptListWidget->item(row)->text();
    return texts;
}

QList<bool> actionsEnabled(const ReceiptDialog &dialog)
{
    return {dialog.deleteReceiptButton->isEnabled(), dialog.loadReceiptButton->isEnabled(),
            dialog.changeReceiptButton->isEnabled(), dialog.receiptNamelineEdit->isEnabled()};
}

// A manager shown on a temporary store, its questions answered by a scripted operator.
struct OpenedManager
{
    OpenedManager(const QStringList &names, const QString &current)
        : store(names)
    {
        dialog.setPrompts(person.prompts());
        dialog.show();
        dialog.refreshReceiptList(current);
    }

    TemporaryStore store;
    ReceiptDialog dialog;
    ScriptedOperator person;
};

} // namespace

class tst_ReceiptDialog : public QObject
{
    Q_OBJECT

private slots:
    void openingSelectsTheCurrentRecipeOrTheFirst();
    void renameChecksComeBeforeTheQuestion_data();
    void renameChecksComeBeforeTheQuestion();
    void renamingAndDeletingFollowTheFiles();
    void descriptionEditsAndGates();
    void heldListButtonStepsOnceOrRepeatsToTheEnd();
};

void tst_ReceiptDialog::openingSelectsTheCurrentRecipeOrTheFirst()
{
    DialogCheck::useConsoleLook();
    {
        OpenedManager empty({}, QString());
        QCOMPARE(actionsEnabled(empty.dialog), QList<bool>({false, false, false, false}));
        QVERIFY(!empty.dialog.upButton->isEnabled() && !empty.dialog.downButton->isEnabled());
    }
    OpenedManager opened({"a", "B", "c"}, QString());
    ReceiptDialog &dialog = opened.dialog;
    QCOMPARE(listed(dialog), QStringList({"B\n", "a\n", "c\n"}));
    QCOMPARE(dialog.receiptNamelineEdit->text(), QString("B"));
    QCOMPARE(dialog.descriptionTextEdit->toPlainText(), ReceiptDescriptionPlaceholder.toString());
    QCOMPARE(actionsEnabled(dialog), QList<bool>({true, true, true, true}));
    QCOMPARE(DialogCheck::layoutFault(&dialog), QString());
    DialogCheck::saveScreenshot(&dialog, "receiptDialog");

    dialog.refreshReceiptList("c");
    QCOMPARE(dialog.receiptListWidget->currentRow(), 2);
    dialog.refreshReceiptList("удалён");
    QVERIFY(dialog.receiptListWidget->selectedItems().isEmpty());
    QCOMPARE(dialog.currentReceiptNameLabel->text(), QString("удалён"));
    QVERIFY(!dialog.loadReceiptButton->isEnabled());
}

void tst_ReceiptDialog::renameChecksComeBeforeTheQuestion_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("warning");
    QTest::newRow("other case") << "A" << QString();
    QTest::newRow("empty") << "" << EmptyReceiptNameMessage.toString();
    QTest::newRow("existing") << "B" << receiptExistsMessage("B");
    for (const QChar c : ReceiptStore::ForbiddenCharacters)
        QTest::newRow(qPrintable(QString("forbidden ") + c))
            << QString("x") + c + "y" << ForbiddenCharactersMessage.toString();
}

void tst_ReceiptDialog::renameChecksComeBeforeTheQuestion()
{
    QFETCH(QString, newName);
    QFETCH(QString, warning);
    OpenedManager opened({"a", "B"}, "a");
    QSignalSpy renamed(&opened.dialog, &ReceiptDialog::receiptRenamed);

    opened.dialog.receiptNamelineEdit->acceptKeyboardText(newName);
    QCOMPARE(opened.person.asked.size(), warning.isEmpty() ? 0 : 1);
    if (!warning.isEmpty())
        QVERIFY(opened.person.asked.first().endsWith(" | " + warning));
    QCOMPARE(ReceiptStore::receiptNames(), QStringList({"B", "a"}));
    QCOMPARE(opened.dialog.receiptNamelineEdit->text(), QString("a"));
    QCOMPARE(renamed.count(), 0);
}

void tst_ReceiptDialog::renamingAndDeletingFollowTheFiles()
{
    OpenedManager opened({"a", "B"}, "a");
    ReceiptDialog &dialog = opened.dialog;
    QSignalSpy renamed(&dialog, &ReceiptDialog::receiptRenamed);
    opened.person.answer = "Нет";
    dialog.receiptNamelineEdit->acceptKeyboardText("0 первый");
    dialog.deleteReceiptButton->click();
    QCOMPARE(ReceiptStore::receiptNames(), QStringList({"B", "a"}));

    opened.person.answer = "Да";
    dialog.receiptNamelineEdit->acceptKeyboardText("0 первый");
    QCOMPARE(ReceiptStore::receiptNames(), QStringList({"0 первый", "B"}));
    QCOMPARE(renamed.takeFirst(), QVariantList({"a", "0 первый"}));
    QCOMPARE(dialog.currentReceiptNameLabel->text(), QString("0 первый"));
    QCOMPARE(listed(dialog), QStringList({"0 первый\n", "B\n"}));
    QCOMPARE(dialog.receiptListWidget->currentRow(), 0);

    dialog.deleteReceiptButton->click();
    QCOMPARE(listed(dialog), QStringList {"B\n"});
    QCOMPARE(dialog.receiptNamelineEdit->text(), QString("B"));
    dialog.deleteReceiptButton->click();
    QCOMPARE(dialog.receiptListWidget->count(), 0);
    QCOMPARE(actionsEnabled(dialog), QList<bool>({false, false, false, false}));
    QVERIFY(!dialog.descriptionTextEdit->isEnabled());
    QCOMPARE(ReceiptStore::receiptNames(), QStringList());
    QCOMPARE(dialog.currentReceiptNameLabel->text(), QString("0 первый"));
}

void tst_ReceiptDialog::descriptionEditsAndGates()
{
    OpenedManager opened({"a"}, QString());
    ReceiptDialog &dialog = opened.dialog;
    dialog.descriptionTextEdit->acceptKeyboardText("Тесто; \"ржаное\"");
    QCOMPARE(ReceiptStore::readDescription("a"), QString("Тесто; \"ржаное\""));
    answerNextModalBox("Да");
    dialog.descriptionTextEdit->acceptKeyboardText(QString());
    QCOMPARE(ReceiptStore::readDescription("a"), ReceiptDescriptionPlaceholder.toString());

    dialog.desableChangeLoadReceiptButtons();
    dialog.refreshReceiptList(QString());
    QCOMPARE(actionsEnabled(dialog), QList<bool>({true, false, false, true}));
    QVERIFY(!dialog.createReceiptButton->isEnabled());
    dialog.desableLoadReceiptButton();
    QVERIFY(dialog.createReceiptButton->isEnabled());
    dialog.enableChangeLoadReceiptButtons();
    QCOMPARE(actionsEnabled(dialog), QList<bool>({true, true, true, true}));
}

void tst_ReceiptDialog::heldListButtonStepsOnceOrRepeatsToTheEnd()
{
    QStringList names;
    for (int i = 10; i < 22; ++i)
        names << QString("рецепт %1").arg(i);
    OpenedManager opened(names, QString());
    ReceiptDialog &dialog = opened.dialog;
    QTRY_VERIFY(dialog.downButton->isEnabled());

    QTest::mousePress(dialog.downButton, Qt::LeftButton);
    QTest::qWait(100);
    QTest::mouseRelease(dialog.downButton, Qt::LeftButton);
    QCOMPARE(dialog.receiptNamelineEdit->text(), names.at(1));
    QTest::qWait(400);
    QCOMPARE(dialog.receiptListWidget->currentRow(), 1);

    QList<qint64> steps;
    QElapsedTimer clock;
    connect(dialog.receiptListWidget, &QListWidget::currentRowChanged, this,
            [&] { steps << clock.elapsed(); });
    clock.start();
    QTest::mousePress(dialog.downButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(dialog.receiptListWidget->currentRow(), names.size() - 1, 5000);
    QVERIFY(!dialog.downButton->isDown() && !dialog.downButton->isEnabled());
    QCOMPARE(dialog.receiptNamelineEdit->text(), names.last());
    QCOMPARE(steps.size(), names.size() - 2);
    QVERIFY2(steps.first() >= 250, qPrintable(QString::number(steps.first())));
    const qint64 average = (steps.last() - steps.first()) / (steps.size() - 1);
    QVERIFY2(average >= 80 && average <= 200, qPrintable(QString::number(average)));
}

QTEST_MAIN(tst_ReceiptDialog)
#include "tst_receiptdialog.moc"
