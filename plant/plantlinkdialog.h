#ifndef PLANTLINKDIALOG_H
#define PLANTLINKDIALOG_H

#include "plantlinksettings.h"
#include "ui_plantLinkForm.h"

#include <QDialog>

// "Связь с цехом": the broker, its topics and credentials, and the Modbus TCP port, address and
// allowed clients, with what each link is doing now. "Сохранить" hands the values back (not
// while a Modbus field holds what is no address); the host decides whether they are taken. The
// broker's password is never shown: its field shows dots of a new one typed, or only whether
// one is set.
class PlantLinkDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PlantLinkDialog(QWidget *parent = nullptr);

    void showSettings(const PlantLinkSettings &settings);
    // What the fields hold; a port that is no number counts as none, no address as 127.0.0.1.
    PlantLinkSettings settings() const;
    void showStatus(const QString &mqtt, const QString &modbus);
    QString mqttStatusText() const { return ui.mqttStatus->text(); }
    QString modbusStatusText() const { return ui.modbusStatus->text(); }

signals:
    void settingsChosen(const PlantLinkSettings &settings);

private:
    Ui::plantLinkForm ui;
    QString keptPassword;
};

#endif // PLANTLINKDIALOG_H
