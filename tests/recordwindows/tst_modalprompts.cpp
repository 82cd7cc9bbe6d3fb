#include "keyboarddriver.h"
#include "modalprompts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
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
};

// The panel has no keyboard: without the on-screen one no new file could be named.
void tst_ModalPrompts::aFileNameIsTypedOnTheOnScreenKeyboard()
{
    QTemporaryDir folder;
    QString offered;
    QString keyboardTitle;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        offered = name ? name->text() : QString();
        if (name)
            QTest::mouseClick(name, Qt::LeftButton);
        if (QDialog *keyboard = KeyboardDriver::openKeyboard()) {
            keyboardTitle = keyboard->windowTitle();
            KeyboardDriver::type(QStringLiteral("итог."));
            KeyboardDriver::press(QStringLiteral("En-Ru"));
            KeyboardDriver::type(QStringLiteral("pdf"));
            KeyboardDriver::press(QStringLiteral("Enter"));
        }
        if (auto *buttons = dialog->findChild<QDialogButtonBox *>())
            buttons->button(QDialogButtonBox::Save)->click();
        dialog->close();
    });

    const QString chosen = ModalPrompts::standardSaveFileAs(
        nullptr, QStringLiteral("Сохранить отчёт"), folder.filePath(QStringLiteral("Партия 1.pdf")),
        QStringLiteral("PDF (*.pdf)"));

    QCOMPARE(offered, QString("Партия 1.pdf"));
    QCOMPARE(keyboardTitle, QString("Сохранить отчёт"));
    QCOMPARE(chosen, folder.filePath("итог.pdf"));
}

QTEST_MAIN(tst_ModalPrompts)
#include "tst_modalprompts.moc"
