// "Связь с цехом" alone: the broker's password never shown, the Modbus address and clients.
#include "keyboarddriver.h"
#include "lineeditembedded.h"
#include "plantlinkdialog.h"

#include <QHostAddress>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

void type(PlantLinkDialog &dialog, const char *field, const QString &text)
{
    dialog.findChild<QLineEdit *>(QString::fromLatin1(field))->setText(text);
}

} // namespace

class tst_PlantLinkDialog : public QObject
{
    Q_OBJECT

private slots:
    void brokerPasswordIsNeverShownAndKeptUntilReplaced();
    void emptyAddressIsThisComputerAndClientsAreAList();
    void whatIsNoAddressIsNotSaved_data();
    void whatIsNoAddressIsNotSaved();
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

void tst_PlantLinkDialog::emptyAddressIsThisComputerAndClientsAreAList()
{
    PlantLinkDialog dialog;
    type(dialog, "modbusPortEdit", QStringLiteral("1502"));
    type(dialog, "modbusAddressEdit", QString());
    type(dialog, "modbusClientsEdit", QStringLiteral(" 10.0.0.5,10.0.1.0/24;  192.168.1.7 "));
    const PlantLinkSettings chosen = dialog.settings();
    QCOMPARE(QHostAddress(chosen.modbusAddress), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(chosen.modbusClients.size(), 3);
    dialog.showSettings(chosen);
    QCOMPARE(dialog.settings(), chosen);
}

void tst_PlantLinkDialog::whatIsNoAddressIsNotSaved_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("clients");
    QTest::newRow("address") << QStringLiteral("10.0.0.300") << QString();
    QTest::newRow("a client") << QStringLiteral("0.0.0.0") << QStringLiteral("10.0.0.5 scada");
}

void tst_PlantLinkDialog::whatIsNoAddressIsNotSaved()
{
    QFETCH(QString, address);
    QFETCH(QString, clients);
    PlantLinkDialog dialog;
    QSignalSpy chosen(&dialog, &PlantLinkDialog::settingsChosen);
    type(dialog, "modbusAddressEdit", address);
    type(dialog, "modbusClientsEdit", clients);
    dialog.findChild<QPushButton *>(QStringLiteral("saveButton"))->click();
    QCOMPARE(chosen.size(), 0);
    QVERIFY(!dialog.modbusStatusText().isEmpty());
}

QTEST_MAIN(tst_PlantLinkDialog)
#include "tst_plantlinkdialog.moc"
