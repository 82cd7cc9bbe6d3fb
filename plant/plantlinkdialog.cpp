#include "plantlinkdialog.h"

#include "clientfilter.h"

#include <QHostAddress>
#include <QPushButton>

namespace {

// What in the Modbus fields is no address, for the status line; empty when all are.
QString unreadable(const PlantLinkSettings &settings)
{
    QStringList wrong = ClientFilter(settings.modbusClients).invalid();
    if (QHostAddress(settings.modbusAddress).isNull())
        wrong.prepend(settings.modbusAddress);
    return wrong.isEmpty() ? QString()
                           : QStringLiteral("не адрес: %1").arg(wrong.join(QStringLiteral(", ")));
}

} // namespace

PlantLinkDialog::PlantLinkDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    ui.setupUi(this);
    setModal(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_DeleteOnClose, false);
    // The keyboard announces the text; the field shows what was typed.
    for (LineEditEmbedded *field : findChildren<LineEditEmbedded *>()) {
        connect(field, &LineEditEmbedded::textHasEntered, field,
                [field](const QString &text) { field->setText(text.trimmed()); });
    }
    connect(ui.saveButton, &QPushButton::clicked, this, [this] {
        const PlantLinkSettings chosen = settings();
        const QString wrong = unreadable(chosen);
        if (!wrong.isEmpty()) {
            ui.modbusStatus->setText(wrong);
            return;
        }
        emit settingsChosen(chosen);
    });
    connect(ui.closeButton, &QPushButton::clicked, this, &QWidget::hide);
}

void PlantLinkDialog::showSettings(const PlantLinkSettings &settings)
{
    ui.hostEdit->setText(settings.host);
    ui.portEdit->setText(QString::number(settings.port));
    ui.prefixEdit->setText(settings.prefix);
    ui.clientIdEdit->setText(settings.clientId);
    ui.userEdit->setText(settings.user);
    // The password in force never reaches a widget; only whether there is one is shown.
    keptPassword = settings.password;
    ui.passwordEdit->clear();
    ui.passwordEdit->setPlaceholderText(settings.password.isEmpty() ? QStringLiteral("не задан")
                                                                    : QStringLiteral("задан"));
    ui.caFileEdit->setText(settings.caFile);
    ui.modbusPortEdit->setText(settings.modbusPort > 0 ? QString::number(settings.modbusPort)
                                                       : QString());
    ui.modbusAddressEdit->setText(settings.modbusAddress);
    ui.modbusClientsEdit->setText(settings.modbusClients.join(QStringLiteral(", ")));
    ui.ordersBox->setChecked(settings.acceptsOrders);
}

PlantLinkSettings PlantLinkDialog::settings() const
{
    PlantLinkSettings settings;
    settings.host = ui.hostEdit->text().trimmed();
    settings.caFile = ui.caFileEdit->text().trimmed();
    bool isNumber = false;
    const int port = ui.portEdit->text().toInt(&isNumber);
    settings.port = isNumber && port > 0 && port < 65536 ? port
                    : settings.caFile.isEmpty()          ? PlantLinkSettings::DefaultMqttPort
                                                         : PlantLinkSettings::DefaultTlsPort;
    settings.prefix = ui.prefixEdit->text().trimmed();
    settings.clientId = ui.clientIdEdit->text().trimmed();
    settings.user = ui.userEdit->text().trimmed();
    // An empty field keeps the password in force; a typed one replaces it.
    settings.password = ui.passwordEdit->text().isEmpty() ? keptPassword : ui.passwordEdit->text();
    const int modbusPort = ui.modbusPortEdit->text().toInt(&isNumber);
    settings.modbusPort = isNumber && modbusPort > 0 && modbusPort < 65536 ? modbusPort : 0;
    const QString address = ui.modbusAddressEdit->text().trimmed();
    if (!address.isEmpty())
        settings.modbusAddress = address;
    settings.modbusClients = ClientFilter::split(ui.modbusClientsEdit->text());
    settings.acceptsOrders = ui.ordersBox->isChecked();
    return settings;
}

void PlantLinkDialog::showStatus(const QString &mqtt, const QString &modbus)
{
    ui.mqttStatus->setText(mqtt);
    ui.modbusStatus->setText(modbus);
}

#include "moc_plantlinkdialog.cpp"
