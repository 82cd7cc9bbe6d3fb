#ifndef FAKESERIALDEVICE_H
#define FAKESERIALDEVICE_H

#include "serialdevice.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

// A serial device that only remembers what it was told, for checking what SerialPort asks of
// the operating system. The test keeps the state while the port owns the device.
class FakeSerialDevice : public SerialDevice
{
public:
    struct State
    {
        bool open = false;
        std::string name;
        // Calls in order, with their arguments where they matter.
        QStringList calls;
        // The call that reports failure, by name ("open", "close", "applyTimeouts", ...).
        QString failing;
        // What a failing open tells of its cause.
        OpenFailure openFailure = OpenFailure::Unknown;
        // A failing close releases the port all the same.
        bool closeFailsButReleases = false;
        // applyLineSettings refuses this rate.
        int refusedBaudRate = -1;
        std::uint32_t inputQueue = 0;
        std::uint32_t outputQueue = 0;
        SerialLineSettings line;
        SerialTimeouts timeouts;
        bool lineErrorPending = false;
        // The count the last transfer was asked for.
        int lastCount = -1;
        QByteArray written;
    };

    explicit FakeSerialDevice(std::shared_ptr<State> state);

    bool open(const std::string &name) override;
    OpenFailure openFailure() const override { return state->openFailure; }
    bool isOpen() const override { return state->open; }
    bool close() override;
    bool setupDriver(std::uint32_t inputQueue, std::uint32_t outputQueue) override;
    bool saveSettings() override;
    bool restoreSettings() override;
    bool applyLineSettings(const SerialLineSettings &settings) override;
    bool applyTimeouts(const SerialTimeouts &timeouts) override;
    bool abortTransfers() override;
    bool discard(int queues) override;
    bool dropRts() override;
    bool takeLineErrors() override;
    int read(unsigned char *buffer, std::uint16_t count) override;
    int write(const unsigned char *buffer, std::uint16_t count) override;
    void cancelWaits() override;

private:
    bool record(const QString &call);

    std::shared_ptr<State> state;
};

#endif // FAKESERIALDEVICE_H
