#ifndef SERIALSCHEDULE_H
#define SERIALSCHEDULE_H

#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>
#include <QtGlobal>

#include <atomic>
#include <memory>

class QDateTime;
class SerialPort;

// Carries one request/reply transaction at a time over the serial port: a worker thread writes
// the staged request, collects the reply frames and hands them to processReply().
//
// The worker starts with the first send after the port opens and then waits, blocked, between
// transactions until the port closes: cheaper than a thread per transaction, with the same
// states, time-outs, messages and signals (only isRunning() stays true while the link is idle).
class SerialSchedule : public QThread
{
    Q_OBJECT

public:
    // Transaction states: the number of resources of `stage` available.
    enum StageState : int { Filling = 0, Staged = 1, Written = 2, Delivering = 3, Idle = 4 };

    // How long a send waits for the previous transaction, and waitIdle() for the current one.
    static constexpr int IdleWaitMs = 5000;
    // Buffer size allocated at open; larger requests or replies grow the buffers.
    static constexpr int InitialBufferSize = 128;

    // Opens the port at once unless the name is empty.
    explicit SerialSchedule(const QString &name);
    ~SerialSchedule() override;

    // Port result codes (portresult.h) are returned and kept as lastError(). A failed open
    // gives PortNotPresent or PortInUse where the system tells which, else PortNotOpened.
    int openPort(const QString &name);
    int closePort();
    int setRate(int rate);
    int setReplyTimeout(int ms);
    int setWriteTimeout(int ms);

    // Stages one request for the worker after waiting up to IdleWaitMs for the previous
    // transaction; returns without waiting for the reply of frameCount frames.
    // Missing bytes, a zero frame length or a reply larger than one transfer (64 KiB) are
    // refused with PortWriteFailed, nothing staged.
    int sendFrame(quint16 length, const quint8 *bytes, quint16 replyFrameLength,
                  quint32 frameCount);
    // Waits until no transaction is in progress, at most IdleWaitMs; false when it still is.
    bool waitIdle();
    bool isIdle() const { return stage.available() == Idle; }

    bool isMaster() const { return slaveMode == 0; }
    void setSlaveMode(bool slave);

    void sysMessage(const QString &message);
    // The text sysMessage() emits for a message written at the given moment.
    static QString sysMessageText(const QDateTime &when, const QString &message);

    static QStringList availablePorts();

    virtual QString errorString(qint8 code) const;
    virtual qint8 lastError() const { return qint8(lastResult.load(std::memory_order_relaxed)); }

signals:
    void linkMaster(bool master);
    void hasSysMes(const QString &message);

protected:
    void run() override;
    // Called on the worker thread with the request and the complete reply frames received
    // (reply null and frames 0 when none came or the request could not be written).
    virtual void processReply(const quint8 *request, quint16 requestLength, const quint8 *reply,
                              quint16 replyFrameLength, quint32 frames, quint32 expected) = 0;
    // Called on the worker thread before processReply(): true sends the request once more and
    // delivers only the second reply. The first attempt is then the caller's to account for.
    virtual bool repeatsRequest(const quint8 *request, quint16 requestLength, const quint8 *reply,
                                quint16 replyFrameLength, quint32 frames, quint32 expected)
    {
        Q_UNUSED(request);
        Q_UNUSED(requestLength);
        Q_UNUSED(reply);
        Q_UNUSED(replyFrameLength);
        Q_UNUSED(frames);
        Q_UNUSED(expected);
        return false;
    }

private:
    void serveStagedRequest();
    quint32 readReply();
    void setLastResult(int code) { lastResult.store(code, std::memory_order_relaxed); }
    int applyPortSetting(bool (SerialPort::*apply)(int), int value, const QString &success,
                         const QString &failure, int failureCode);
    bool holdIdle();
    void startWorker();
    void stopWorker();

    // Written by both threads and only ever read as a hint of the last outcome.
    std::atomic<int> lastResult {1};
    std::atomic<int> slaveMode {0};
    // Named apart from QThread::priority(), which it would hide.
    QThread::Priority workerPriority = QThread::NormalPriority;
    std::unique_ptr<SerialPort> port;
    QSemaphore runGuard {1};
    QSemaphore stage {Idle};
    QString portName;
    // Written by the sender only while it holds all of `stage`, used by the worker in the
    // states Staged to Delivering.
    std::unique_ptr<quint8[]> txBuffer;
    quint16 txCapacity = 0;
    quint16 txLength = 0;
    std::unique_ptr<quint8[]> rxBuffer;
    quint32 rxCapacity = 0;
    quint16 frameLength = 0;
    quint32 expectedFrames = 0;

    // Wakes the worker for a staged request, for the end of slave mode and for stopping.
    QMutex workerMutex;
    QWaitCondition workerWake;
    bool requestStaged = false;
    bool stopping = false;
};

#endif // SERIALSCHEDULE_H
