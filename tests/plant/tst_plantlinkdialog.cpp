#include "keyboarddriver.h"
#include "lineeditembedded.h"
#include "plantlinkdialog.h"

#include <QTest>

class tst_PlantLinkDialog : public QObject
{
    Q_OBJECT

private slots:
    void brokerPasswordIsNeverShownAndKeptUntilReplaced();
};

void tst_PlantLinkDialog::brokerPasswordIsNeverShownAndKeptUntilReplaced()
{
    PlantLinkSettings inForce;
    inForce.host = QStringLiteral("broker.plant");
    inForce.password = QStringLiteral("pa55word");
    PlantLinkDialog dialog;
    dialog.showSettings(inForce);
    dialog.show();
    for (const QLineEdit *field : dialog.findChildren<QLineEdit *>())
        QVERIFY2(!field->text().contains(inForce.password), qPrintable(field->objectName()));
    QCOMPARE(dialog.settings(), inForce);

    auto *passwordEdit = dialog.findChild<LineEditEmbedded *>("passwordEdit");
    QTest::mouseClick(passwordEdit, Qt::LeftButton);
    QVERIFY(KeyboardDriver::displayText().isEmpty());
    passwordEdit->keyboard()->setKeyboardMode(Keyboard::En);
    QVERIFY(KeyboardDriver::type(QStringLiteral("new")));
    QVERIFY(!KeyboardDriver::displayText().contains(QStringLiteral("new")));
    QVERIFY(KeyboardDriver::press(QStringLiteral("Enter")));
    QCOMPARE(dialog.settings().password, QStringLiteral("new"));

    // Shown again, as after a refused change, nothing typed is left over.
    dialog.showSettings(inForce);
    QCOMPARE(dialog.settings(), inForce);
}

QTEST_MAIN(tst_PlantLinkDialog)
#include "tst_plantlinkdialog.moc"
