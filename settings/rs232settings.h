#ifndef RS232SETTINGS_H
#define RS232SETTINGS_H

#include "ui_rs232SettingsForm.h"

#include <QDialog>
#include <QList>
#include <QString>

// The choice of the COM port and the bit rate of the doser line. Keeps nothing itself: every
// change is passed on at once by a signal, and closing the dialog only hides it.
class rs232Settings : public QDialog, public Ui::rs232SettingsForm
{
    Q_OBJECT

public:
    explicit rs232Settings(QWidget *parent = nullptr);
    ~rs232Settings() override;

public slots:
    // Appends the names after the existing ones; an empty list gets its first name as current.
    void addComPorts(const QList<QString> &ports);
    QString getCurrentCOMPort() const;
    QString getCurrentCOMPortRate() const;

signals:
    void comPortChanged(const QString &port);
    void rateChanged(const QString &rate);
};

#endif // RS232SETTINGS_H
