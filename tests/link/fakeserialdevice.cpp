#include "fakeserialdevice.h"

#include <cstring>

FakeSerialDevice::FakeSerialDevice(std::shared_ptr<State> state)
    : state(std::move(state))
{ }

bool FakeSerialDevice::record(const QString &call)
{
    state->calls << call;
    return state->failing != call.section(' ', 0, 0);
}

bool FakeSerialDevice::open(const std::string &name)
{
    if (!record("open " + QString::fromStdString(name)))
        return false;
    state->open = true;
    state->name = name;
    return true;
}

bool FakeSerialDevice::close()
{
    const bool closed = record("close");
    if (closed || state->closeFailsButReleases)
        state->open = false;
    return closed;
}

bool FakeSerialDevice::setupDriver(std::uint32_t inputQueue, std::uint32_t outputQueue)
{
    state->inputQueue = inputQueue;
    state->outputQueue = outputQueue;
    return record("setupDriver");
}

bool FakeSerialDevice::saveSettings()
{
    return record("saveSettings");
}

bool FakeSerialDevice::restoreSettings()
{
    return record("restoreSettings");
}

bool FakeSerialDevice::applyLineSettings(const SerialLineSettings &settings)
{
    if (!record(QString("applyLineSettings %1").arg(settings.baudRate))
        || settings.baudRate == state->refusedBaudRate)
        return false;
    state->line = settings;
    return true;
}

bool FakeSerialDevice::applyTimeouts(const SerialTimeouts &timeouts)
{
    if (!record("applyTimeouts"))
        return false;
    state->timeouts = timeouts;
    return true;
}

bool FakeSerialDevice::abortTransfers()
{
    return record("abortTransfers");
}

bool FakeSerialDevice::discard(int queues)
{
    return record(QString("discard %1").arg(queues));
}

bool FakeSerialDevice::dropRts()
{
    return record("dropRts");
}

bool FakeSerialDevice::takeLineErrors()
{
    const bool pending = state->lineErrorPending;
    state->lineErrorPending = false;
    return pending;
}

int FakeSerialDevice::read(unsigned char *buffer, std::uint16_t count)
{
    state->lastCount = count;
    if (!record("read"))
        return -1;
    std::memset(buffer, 0x5A, count);
    return count;
}

int FakeSerialDevice::write(const unsigned char *buffer, std::uint16_t count)
{
    state->lastCount = count;
    if (!record("write"))
        return -1;
    state->written.append(reinterpret_cast<const char *>(buffer), count);
    return count;
}

void FakeSerialDevice::cancelWaits()
{
    record("cancelWaits");
}
