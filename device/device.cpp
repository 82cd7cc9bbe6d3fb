#include "device.h"

#include <QDebug>

Device::Device(QObject *parent)
    : QObject(parent)
{ }

Device::~Device()
{
    qDebug("~Device()");
}

#include "moc_device.cpp"
