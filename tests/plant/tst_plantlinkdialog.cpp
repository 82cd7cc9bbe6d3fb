// The Modbus fields of "Связь с цехом": the address it listens on and the clients it allows.
#include "plantlinkdialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

class tst_PlantLinkDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void emptyAddressListensOnThisComputerOnly();
    void clientsTypedAreTakenAsAList();
    void whatIsNoAddressIsNotSaved_data();
    void whatIsNoAddressIsNotSaved();

private:
    void type(const char *field, const QString &text);

    std::unique_ptr<PlantLinkDialog> dialog;
};

void tst_PlantLinkDialog::init()
{
    dialog = std::make_unique<PlantLinkDialog>();
    PlantLinkSettings settings;
    settings.modbusPort = 1502;
    dialog->showSettings(settings);
}

void tst_PlantLinkDialog::cleanup()
{
    dialog.reset();
}

void tst_PlantLinkDialog::type(const char *field, const QString &text)
{
    auto *edit = dialog->findChild<QLineEdit *>(QString::fromLatin1(field));
    QVERIFY(edit);
    edit->setText(text);
}

void tst_PlantLinkDialog::emptyAddressListensOnThisComputerOnly()
{
    type("modbusAddressEdit", QString());
    QCOMPARE(QHostAddress(dialog->settings().modbusAddress), QHostAddress(QHostAddress::LocalHost));
    type("modbusAddressEdit", QStringLiteral("0.0.0.0"));
    QCOMPARE(QHostAddress(dialog->settings().modbusAddress), QHostAddress(QHostAddress::AnyIPv4));
}

void tst_PlantLinkDialog::clientsTypedAreTakenAsAList()
{
    type("modbusClientsEdit", QStringLiteral(" 10.0.0.5,10.0.1.0/24;  192.168.1.7 "));
    const PlantLinkSettings chosen = dialog->settings();
    QCOMPARE(chosen.modbusClients.size(), 3);
    dialog->showSettings(chosen);
    QCOMPARE(dialog->settings(), chosen);
}

void tst_PlantLinkDialog::whatIsNoAddressIsNotSaved_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("clients");
    QTest::newRow("address") << QStringLiteral("10.0.0.300") << QString();
    QTest::newRow("one client of two")
        << QStringLiteral("0.0.0.0") << QStringLiteral("10.0.0.5 scada");
}

void tst_PlantLinkDialog::whatIsNoAddressIsNotSaved()
{
    QFETCH(QString, address);
    QFETCH(QString, clients);
    QSignalSpy chosen(dialog.get(), &PlantLinkDialog::settingsChosen);
    type("modbusAddressEdit", address);
    type("modbusClientsEdit", clients);
    dialog->findChild<QPushButton *>(QStringLiteral("saveButton"))->click();
    QCOMPARE(chosen.size(), 0);
    QVERIFY(
        dialog->modbusStatusText().contains(clients.isEmpty() ? address : QStringLiteral("scada")));

    type("modbusAddressEdit", QStringLiteral("127.0.0.1"));
    type("modbusClientsEdit", QStringLiteral("10.0.0.5"));
    dialog->findChild<QPushButton *>(QStringLiteral("saveButton"))->click();
    QCOMPARE(chosen.size(), 1);
}

QTEST_MAIN(tst_PlantLinkDialog)
#include "tst_plantlinkdialog.moc"
