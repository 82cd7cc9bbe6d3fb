#include "keyboarddriver.h"
#include "lineeditembedded.h"
#include "plantlinkdialog.h"

#include <QTest>

namespace {

const QString Password = QStringLiteral("pa55word");

PlantLinkSettings withPassword()
{
    PlantLinkSettings settings;
    settings.host = QStringLiteral("broker.plant");
    settings.user = QStringLiteral("line1");
    settings.password = Password;
    return settings;
}

} // namespace

class tst_PlantLinkDialog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void brokerPasswordIsNeverShownAndKeptUntilReplaced();
};

void tst_PlantLinkDialog::cleanup()
{
    if (QDialog *keyboard = KeyboardDriver::openKeyboard())
        keyboard->reject();
}

void tst_PlantLinkDialog::brokerPasswordIsNeverShownAndKeptUntilReplaced()
{
    PlantLinkDialog dialog;
    dialog.showSettings(withPassword());
    dialog.show();
    for (const QLineEdit *field : dialog.findChildren<QLineEdit *>())
        QVERIFY2(!field->text().contains(Password), qPrintable(field->objectName()));
    // Saved untouched, the password in force stays.
    QCOMPARE(dialog.settings(), withPassword());

    auto *passwordEdit = dialog.findChild<LineEditEmbedded *>("passwordEdit");
    QTest::mouseClick(passwordEdit, Qt::LeftButton);
    QVERIFY(KeyboardDriver::openKeyboard());
    QVERIFY(KeyboardDriver::displayText().isEmpty());
    passwordEdit->keyboard()->setKeyboardMode(Keyboard::En);
    QVERIFY(KeyboardDriver::type(QStringLiteral("new")));
    QVERIFY(!KeyboardDriver::displayText().contains(QStringLiteral("new")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));
    QCOMPARE(passwordEdit->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.settings().password, QStringLiteral("new"));
    QCOMPARE(dialog.settings().host, withPassword().host);

    // Shown again, as after a refused change, nothing typed is left over.
    dialog.showSettings(withPassword());
    QVERIFY(passwordEdit->text().isEmpty());
    QCOMPARE(dialog.settings(), withPassword());
}

QTEST_MAIN(tst_PlantLinkDialog)
#include "tst_plantlinkdialog.moc"
