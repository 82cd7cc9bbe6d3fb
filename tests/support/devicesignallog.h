#ifndef DEVICESIGNALLOG_H
#define DEVICESIGNALLOG_H

#include "k310device.h"

#include <QObject>
#include <QStringList>
#include <QThread>

// Writes every signal a K310Device emits into one ordered list, one entry per emission:
// the signal's name and its arguments, texts in double quotes, numbers bare, packets as their
// bytes, e.g. hasGetWeightNETTOSignal(30, "12.5") or hasGetScaleSignal(30, 2).
class DeviceSignalLog : public QObject
{
public:
    explicit DeviceSignalLog(K310Device &device);

    // Entries from the given one on.
    QStringList since(int first) const { return entries.mid(first); }
    int size() const { return int(entries.size()); }
    void clear() { entries.clear(); }
    // True while every signal so far came on the thread the log was made on.
    bool allOnOwnThread() const { return onOwnThread; }

    QStringList entries;

private:
    template<typename... Args>
    void watch(K310Device &device, void (K310Device::*signal)(Args...), const char *name);
    void append(const char *name, const QStringList &arguments);

    QThread *ownThread;
    bool onOwnThread = true;
};

#endif // DEVICESIGNALLOG_H
