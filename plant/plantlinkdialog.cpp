#include "plantlinkdialog.h"

#include <QPushButton>

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
    connect(ui.saveButton, &QPushButton::clicked, this,
            [this] { emit settingsChosen(settings()); });
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
    return settings;
}

void PlantLinkDialog::showStatus(const QString &mqtt, const QString &modbus)
{
    ui.mqttStatus->setText(mqtt);
    ui.modbusStatus->setText(modbus);
}
