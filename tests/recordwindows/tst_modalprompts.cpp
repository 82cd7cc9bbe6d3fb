#include "keyboarddriver.h"
#include "modalprompts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class tst_ModalPrompts : public QObject
{
    Q_OBJECT

private slots:
    void aFileNameIsTypedOnTheOnScreenKeyboard();
    void aPinIsTypedUnseen();
};

void tst_ModalPrompts::aFileNameIsTypedOnTheOnScreenKeyboard()
{
    QTemporaryDir folder;
    QString offered;
    QTimer::singleShot(0, [&offered] {
        QWidget *dialog = QApplication::activeModalWidget();
        auto *name = dialog->findChild<QLineEdit *>();
        offered = name->text();
        QTest::mouseClick(name, Qt::LeftButton);
        if (KeyboardDriver::type("итог.") && KeyboardDriver::press("En-Ru"))
            KeyboardDriver::type("pdf") && KeyboardDriver::press("Enter");
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
        dialog->close();
    });
    const QString chosen = ModalPrompts::standardSaveFileAs(
        nullptr, "Сохранить отчёт", folder.filePath("Партия 1.pdf"), "PDF (*.pdf)");
    QCOMPARE(offered, QString("Партия 1.pdf"));
    QCOMPARE(chosen, folder.filePath("итог.pdf"));
}

void tst_ModalPrompts::aPinIsTypedUnseen()
{
    const QString pin = QStringLiteral("4719");
    QString shown;
    QTimer::singleShot(0, [&] {
        if (KeyboardDriver::type(pin))
            shown = KeyboardDriver::displayText();
        KeyboardDriver::press("Enter");
    });
    const std::optional<QString> entered = ModalPrompts::standardEnterPin(nullptr, "PIN");
    QCOMPARE(entered.value_or(QString()), pin);
    QCOMPARE(shown.size(), pin.size());
    for (const QChar digit : pin)
        QVERIFY(!shown.contains(digit));
}

QTEST_MAIN(tst_ModalPrompts)
#include "tst_modalprompts.moc"
