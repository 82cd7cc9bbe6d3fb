#ifndef DEVICE_H
#define DEVICE_H

#include <QObject>

// One doser position as the console sees it: its address on the line and whether the operator
// has switched it on and the console wants its connection tested.
class Device : public QObject
{
    Q_OBJECT

public:
    explicit Device(QObject *parent = nullptr);
    ~Device() override;

public slots:
    int getDeviceID() const { return deviceID; }
    void setDeviceID(int id) { deviceID = id; }
    bool isDeviceActive() const { return active; }
    void setDeviceActive(bool on) { active = on; }
    // A switched-off doser never needs a check, whatever was asked for it.
    bool isDeviceNeedToBeChecked() const { return needToBeChecked && active; }
    void setDeviceNeedToBeChecked(bool check) { needToBeChecked = check; }

protected:
    int deviceID = 0;
    bool active = false;
    bool needToBeChecked = false;
};

#endif // DEVICE_H
