#include "seriallinememory.h"

#include "k310settings.h"

#include <QSettings>

namespace {

const char *const portKey = "comPort";
const char *const rateKey = "comPortRate";

} // namespace

SerialLineMemory::SerialLineMemory()
    : settings(k310Settings::makeStore())
{ }

SerialLineMemory::~SerialLineMemory() = default;

QString SerialLineMemory::port() const
{
    return settings->value(portKey).toString();
}

QString SerialLineMemory::rate() const
{
    return settings->value(rateKey).toString();
}

void SerialLineMemory::rememberPort(const QString &port)
{
    settings->setValue(portKey, port);
    settings->sync();
}

void SerialLineMemory::rememberRate(const QString &rate)
{
    settings->setValue(rateKey, rate);
    settings->sync();
}
