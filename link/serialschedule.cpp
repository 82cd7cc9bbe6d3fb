#include "serialschedule.h"

#include "portresult.h"
#include "serialport.h"

#include <QDateTime>
#include <QDebug>
#include <QMutexLocker>

#include <cstring>

namespace {

// Each read asks for a whole frame at the fill position, so the reply buffer holds one frame
// more than expected; the whole reply must fit one transfer.
constexpr quint64 MaxReplyBytes = 0xFFFF;

} // namespace

SerialSchedule::SerialSchedule(const QString &name)
    : QThread(nullptr)
    , port(std::make_unique<SerialPort>())
    , portName(name)
{
    qDebug("SerialSchedule()");
    if (!name.isEmpty())
        openPort(name);
}

SerialSchedule::~SerialSchedule()
{
    qDebug("~SerialSchedule()");
    closePort();
}

int SerialSchedule::openPort(const QString &name)
{
    portName = name;
    closePort();
    if (txCapacity == 0) {
        txBuffer = std::make_unique<quint8[]>(InitialBufferSize);
        txCapacity = InitialBufferSize;
    }
    if (rxCapacity == 0) {
        rxBuffer = std::make_unique<quint8[]>(InitialBufferSize);
        rxCapacity = InitialBufferSize;
    }
    if (port->open(name.toLocal8Bit().toStdString())) {
        sysMessage(QStringLiteral("Открыт порт %1").arg(name));
        setLastResult(PortSuccess);
        return PortSuccess;
    }
    sysMessage(QStringLiteral("Ошибка: невозможно открыть порт %1").arg(name));
    portName.clear();
    // Tells a port held by another program from one that is not there, where the system does.
    const int failure = port->openResult();
    setLastResult(failure);
    return failure;
}

int SerialSchedule::closePort()
{
    if (!port->isOpen()) {
        stopWorker();
        setLastResult(PortClosed);
        return PortClosed;
    }
    // A transaction under time-outs is left to deliver its reply; one waiting without a limit
    // (reply time-out 0, a silent doser) would hold the close for ever.
    port->cancelEndlessWait();
    waitIdle();
    // Waits for a transaction that outlasted waitIdle() to end at the port's time-outs rather
    // than freeing its buffers and closing its port under it.
    stopWorker();
    txBuffer.reset();
    txCapacity = 0;
    rxBuffer.reset();
    rxCapacity = 0;
    const int result = port->close() ? PortSuccess : PortNotClosed;
    setLastResult(result);
    return result;
}

int SerialSchedule::setRate(int rate)
{
    return applyPortSetting(
        &SerialPort::setBaudRate, rate, QStringLiteral("Установлена скорость %1 бит/с"),
        QStringLiteral("Ошибка: невозможно установиьт скорость %1 бит/с"), PortInvalidBaudRate);
}

int SerialSchedule::setReplyTimeout(int ms)
{
    return applyPortSetting(
        &SerialPort::setReadTimeout, ms,
        QStringLiteral("Установлено предельное время ожидания ответного сообщения (чтение из COM "
                       "порта) %1 мс"),
        QStringLiteral("Ошибка: невозможно установиьт предельное время ожидания ответного "
                       "сообщения (чтение из COM порта) %1 мс"),
        PortReadDelayError);
}

int SerialSchedule::setWriteTimeout(int ms)
{
    return applyPortSetting(
        &SerialPort::setWriteTimeout, ms,
        QStringLiteral("Установлено предельное время передачи сообщения (запись в COM порт) %1 мс"),
        QStringLiteral("Ошибка: невозможно установиьт предельное время передачи сообщения (запись "
                       "в COM порт) %1 мс"),
        PortWriteDelayError);
}

int SerialSchedule::applyPortSetting(bool (SerialPort::*apply)(int), int value,
                                     const QString &success, const QString &failure,
                                     int failureCode)
{
    // The port is not thread-safe: it changes only while no transaction can use it. The worker
    // stays alive meanwhile, so there is nothing to restart afterwards.
    const bool held = holdIdle();
    const bool applied = held && (port.get()->*apply)(value);
    if (held)
        stage.release(Idle);
    if (!applied) {
        sysMessage(failure.arg(value));
        setLastResult(failureCode);
        return failureCode;
    }
    sysMessage(success.arg(value));
    setLastResult(PortSuccess);
    return PortSuccess;
}

int SerialSchedule::sendFrame(quint16 length, const quint8 *bytes, quint16 replyFrameLength,
                              quint32 frameCount)
{
    if (slaveMode != 0) {
        sysMessage(QStringLiteral("Ошибка: невозможно отослать команду, режим SLAVE"));
        setLastResult(PortWriteFailed);
        return PortWriteFailed;
    }
    if (!port->isOpen()) {
        sysMessage(QStringLiteral("Ошибка: порт %1 закрыт").arg(portName));
        setLastResult(PortClosed);
        return PortClosed;
    }
    const quint64 replyBytes = (quint64(frameCount) + 1) * replyFrameLength;
    if ((!bytes && length > 0) || replyFrameLength == 0 || replyBytes > MaxReplyBytes) {
        setLastResult(PortWriteFailed);
        return PortWriteFailed;
    }
    startWorker();
    if (!stage.tryAcquire(Idle, IdleWaitMs)) {
        sysMessage(QStringLiteral("Ошибка: таймаут записи в порт %1 мс").arg(IdleWaitMs));
        qDebug("Ошибка: таймаут записи в порт");
        setLastResult(PortWriteTimeout);
        return PortWriteTimeout;
    }

    if (txCapacity < length) {
        txBuffer = std::make_unique<quint8[]>(length);
        txCapacity = length;
    }
    if (length > 0)
        std::memcpy(txBuffer.get(), bytes, length);
    txLength = length;
    if (rxCapacity < replyBytes) {
        rxBuffer = std::make_unique<quint8[]>(replyBytes);
        rxCapacity = quint32(replyBytes);
    }
    frameLength = replyFrameLength;
    expectedFrames = frameCount;
    setLastResult(PortSuccess);
    stage.release(Staged - Filling);

    startWorker();
    QMutexLocker locker(&workerMutex);
    requestStaged = true;
    workerWake.wakeAll();
    return PortSuccess;
}

bool SerialSchedule::waitIdle()
{
    if (!holdIdle())
        return false;
    stage.release(Idle);
    return true;
}

bool SerialSchedule::holdIdle()
{
    runGuard.acquire();
    const bool idle = stage.tryAcquire(Idle, IdleWaitMs);
    runGuard.release();
    return idle;
}

void SerialSchedule::setSlaveMode(bool slave)
{
    {
        QMutexLocker locker(&workerMutex);
        slaveMode = slave ? 1 : 0;
        workerWake.wakeAll();
    }
    emit linkMaster(!slave);
}

void SerialSchedule::sysMessage(const QString &message)
{
    emit hasSysMes(sysMessageText(QDateTime::currentDateTime(), message));
}

QString SerialSchedule::sysMessageText(const QDateTime &when, const QString &message)
{
    return when.toString(QStringLiteral("dd.MM.yyyy (hh:mm:ss:zzz) ")) + message
           + QLatin1Char('\n');
}

QStringList SerialSchedule::availablePorts()
{
    QStringList names;
    for (const std::string &name : SerialPort::availablePorts())
        names << QString::fromLocal8Bit(name.data(), qsizetype(name.size()));
    return names;
}

QString SerialSchedule::errorString(qint8 code) const
{
    return QString::fromLatin1(portResultText(code));
}

void SerialSchedule::startWorker()
{
    if (!isRunning())
        start(workerPriority);
}

void SerialSchedule::stopWorker()
{
    if (!isRunning())
        return;
    {
        QMutexLocker locker(&workerMutex);
        stopping = true;
        workerWake.wakeAll();
    }
    wait();
    QMutexLocker locker(&workerMutex);
    stopping = false;
}

void SerialSchedule::run()
{
    forever {
        {
            QMutexLocker locker(&workerMutex);
            // Slave mode holds a staged request here until the link is master again.
            while (!stopping && !(requestStaged && slaveMode == 0))
                workerWake.wait(&workerMutex);
            const bool serve = requestStaged && slaveMode == 0;
            if (!serve) {
                // Stopped while slave mode held a request: it is dropped unsent, like a refused
                // send, and the link is idle again.
                if (requestStaged)
                    stage.release(Idle - Staged);
                requestStaged = false;
                return;
            }
            requestStaged = false;
        }
        serveStagedRequest();
    }
}

void SerialSchedule::serveStagedRequest()
{
    if (!port->isOpen()) {
        sysMessage(QStringLiteral("Ошибка: порт не открыт"));
        setLastResult(PortNotOpened);
        stage.release(Idle - Staged);
        return;
    }
    setLastResult(PortSuccess);

    port->purgeReceive();
    const int written = port->write(txBuffer.get(), txLength);
    if (written != txLength) {
        sysMessage(QStringLiteral("Ошибка: послано %1 байт (корректно %2 байт)")
                       .arg(written)
                       .arg(txLength));
        setLastResult(PortWriteFailed);
        processReply(txBuffer.get(), txLength, nullptr, 0, 0, expectedFrames);
        stage.release(Idle - Staged);
        return;
    }
    setLastResult(PortSuccess);
    stage.release(Written - Staged);

    quint32 frames = readReply();
    if (repeatsRequest(txBuffer.get(), txLength, frames > 0 ? rxBuffer.get() : nullptr, frameLength,
                       frames, expectedFrames)) {
        port->purgeReceive();
        frames = port->write(txBuffer.get(), txLength) == txLength ? readReply() : 0;
    }
    stage.release(Delivering - Written);
    if (frames > 0)
        processReply(txBuffer.get(), txLength, rxBuffer.get(), frameLength, frames, expectedFrames);
    else
        processReply(txBuffer.get(), txLength, nullptr, 0, 0, expectedFrames);
    stage.release(Idle - Delivering);
}

quint32 SerialSchedule::readReply()
{
    std::memset(rxBuffer.get(), 0, rxCapacity);
    quint32 fill = 0;
    quint32 frames = 0;
    // Every read asks for a whole frame, so frames grow by at most one per read and the buffer
    // (one frame longer than the reply) never overflows. A partial frame at the end is ignored.
    while (frames < expectedFrames) {
        const int got = port->read(rxBuffer.get() + fill, frameLength);
        if (got <= 0)
            break;
        fill += quint32(got);
        frames = fill / frameLength;
    }
    return frames;
}

#include "moc_serialschedule.cpp"
