#include "dosersupervisor.h"

#include "batchrun.h"
#include "k310device.h"
#include "linequeue.h"

#include <QDebug>
#include <QtMath>

DoserSupervisor::DoserSupervisor(K310Link *link, LineQueue *queue, ProcessImage &image,
                                 QObject *parent)
    : QObject(parent)
    , link(link)
    , queue(queue)
    , image(image)
{
    pollPause.setSingleShot(true);
    pollPause.setInterval(PollPauseMs);
    connect(&pollPause, &QTimer::timeout, this, &DoserSupervisor::pollStep);
    connect(&activityTimer, &QTimer::timeout, this, &DoserSupervisor::checkActivity);
    connect(&weightTimer, &QTimer::timeout, this, &DoserSupervisor::pollWeight);
}

DoserSupervisor::~DoserSupervisor()
{
    qDeleteAll(devices);
}

void DoserSupervisor::attach(BatchRun *run)
{
    batch = run;
    for (K310Device *doser : std::as_const(devices))
        wireBatch(doser);
}

int DoserSupervisor::addDoser(int address)
{
    auto *doser = new K310Device(link);
    if (queue)
        doser->sendThrough(queue);
    doser->setDeviceID(address);
    devices.append(doser);
    alarmTexts.append(QString());
    const int position = int(devices.size()) - 1;
    if (image.doserCount() < devices.size())
        image.resize(int(devices.size()));
    image.update(position, [address](DoserImage &shown) { shown.deviceId = address; });
    wire(doser);
    if (batch) {
        batch->addPosition();
        wireBatch(doser);
    }
    return position;
}

void DoserSupervisor::removeDoser(int position)
{
    if (!isValid(position) || devices.size() == 1)
        return;
    if (batch && !batch->removePosition(position))
        return;
    delete devices.takeAt(position);
    alarmTexts.removeAt(position);
    image.remove(position);
    activityPosition = weightPosition = 0;
    if (polled >= position) {
        polled = -1;
        pollPause.stop();
    }
}

void DoserSupervisor::setAddress(int position, int address)
{
    if (!isValid(position))
        return;
    devices.at(position)->setDeviceID(address);
    image.update(position, [address](DoserImage &shown) { shown.deviceId = address; });
}

int DoserSupervisor::positionOf(int id) const
{
    for (int position = 0; position < devices.size(); ++position) {
        if (devices.at(position)->getDeviceID() == id)
            return position;
    }
    return -1;
}

void DoserSupervisor::setProduct(int position, const QString &name)
{
    if (!isValid(position))
        return;
    devices.at(position)->setProductName(name);
    image.update(position, [&name](DoserImage &shown) { shown.batch.product = name; });
}

void DoserSupervisor::showNoConnection(int position)
{
    image.update(position, [](DoserImage &shown) { shown.state = DoserState::NoConnection; });
}

void DoserSupervisor::wire(K310Device *doser)
{
    using D = K310Device;
    using S = DoserSupervisor;
    connect(doser, &D::hasConnectionErrorSignal, this, &S::connectionError);
    connect(doser, &D::hasCurrentStateSignal, this, &S::currentState);
    connect(doser, &D::hasStateSignal, this, &S::stateReported);
    connect(doser, &D::hasErrorSignal, this, &S::workError);
    connect(doser, &D::hasGetWeightNETTOSignal, this, [this](int id, const QString &weight) {
        image.update(positionOf(id),
                     [&](DoserImage &shown) { shown.netWeight = Weight::fromText(weight); });
    });
    connect(doser, qOverload<int, quint8>(&D::hasGetScaleSignal), this,
            [this](int id, quint8 decimals) {
                image.update(positionOf(id), [&](DoserImage &shown) { shown.decimals = decimals; });
            });
    connect(doser, &D::hasGetWeightScaleSignal, this, [this](int id, const QString &unit) {
        image.update(positionOf(id), [&](DoserImage &shown) { shown.unit = unit; });
    });
    connect(doser, &D::hasGetDoseCountSignal, this, [this](int id, const QString &count) {
        image.update(positionOf(id),
                     [&](DoserImage &shown) { shown.doseCount = Weight::fromText(count); });
    });
    connect(doser, &D::hasGetTotalWeightSignal, this, [this](int id, const QString &counter) {
        const int position = positionOf(id);
        if (position < 0)
            return;
        const double weight = counterInUnits(position, counter);
        image.update(position, [&](DoserImage &shown) {
            shown.shiftWeight = Weight {weight, shown.decimals};
        });
    });
    connect(doser, &D::hasGetTotalCommonDoseCountSignal, this,
            [this](int id, const QString &counter) {
                image.update(positionOf(id), [&](DoserImage &shown) {
                    shown.totalDoseCount = counter.toUInt(nullptr, 10);
                });
            });
    connect(doser, &D::hasGetTotalCommonWeightSignal, this, [this](int id, const QString &counter) {
        const int position = positionOf(id);
        if (position < 0)
            return;
        const double weight = counterInUnits(position, counter);
        image.update(position, [&](DoserImage &shown) {
            shown.totalWeight = Weight {weight, shown.decimals};
        });
    });
}

void DoserSupervisor::wireBatch(K310Device *doser)
{
    // The batch hears the doser itself, after the image has the report.
    using D = K310Device;
    BatchRun *run = batch;
    connect(doser, &D::needToStopTheWork, run, &BatchRun::stopRequested);
    connect(doser, &D::hasStateSignal, run, &BatchRun::stateReported);
    connect(doser, qOverload<int, quint8>(&D::hasGetScaleSignal), run,
            [this, run](int id, quint8 d) { run->setScale(positionOf(id), d); });
    connect(doser, &D::hasGetNPDSignal, run, [this, run](int id, const QString &limit) {
        run->setWeighingLimit(positionOf(id), limit.toDouble());
    });
    connect(doser, &D::hasGetWeightScaleSignal, run,
            [this, run](int id, const QString &unit) { run->setUnit(positionOf(id), unit); });
    connect(doser, &D::hasGetDoseFaultPlusSignal, run, [this, run](int id, const QString &value) {
        run->setPlusTolerance(positionOf(id), value);
    });
    connect(doser, &D::hasGetDoseFaultMinusSignal, run, [this, run](int id, const QString &value) {
        run->setMinusTolerance(positionOf(id), value);
    });
    connect(doser, &D::hasGetDoseCountSignal, run, [run](int id, const QString &count) {
        run->doseCountReported(id, count.toLongLong());
    });
    connect(doser, &D::hasGetTotalCommonWeightSignal, run, [run](int id, const QString &counter) {
        run->totalCommonWeightReported(id, counter.toUInt(nullptr, 10));
    });
    connect(doser, &D::hasGetDoseUploadSignal, run, [run](int id, const QString &weight) {
        run->dischargeReported(id, Weight::fromText(weight));
    });
    connect(this, &DoserSupervisor::doserLost, run, &BatchRun::doserLost, Qt::UniqueConnection);
}

double DoserSupervisor::counterInUnits(int position, const QString &counter) const
{
    const int scale = image.doser(position).decimals;
    return QString::number(counter.toDouble() / qPow(10.0, scale), 'f', scale).toDouble();
}

int DoserSupervisor::deviceId(int position) const
{
    return isValid(position) ? devices.at(position)->getDeviceID() : -1;
}

QString DoserSupervisor::productName(int position) const
{
    return isValid(position) ? devices.at(position)->getProductName() : QString();
}

bool DoserSupervisor::isActive(int position) const
{
    return isValid(position) && devices.at(position)->isDeviceActive();
}

bool DoserSupervisor::isOnline(int position) const
{
    return isActive(position) && !devices.at(position)->isDeviceNeedToBeChecked();
}

bool DoserSupervisor::isLost(int position) const
{
    return isActive(position) && devices.at(position)->isDeviceNeedToBeChecked();
}

int DoserSupervisor::pendingRequests(int position) const
{
    return queue && isValid(position) ? queue->pending(deviceId(position)) : 0;
}

void DoserSupervisor::setLost(int position, bool lost)
{
    // The specified trace of the moves between the online and the lost dosers.
    K310Device *doser = devices.at(position);
    if (doser->isDeviceNeedToBeChecked() == lost)
        return;
    doser->setDeviceNeedToBeChecked(lost);
    if (lost) {
        qDebug("Has append Off Device Array Index = %d", position);
        qDebug("Has removed On Device Array Index = %d", position);
    } else {
        qDebug("Has removed Off Device Array Index = %d", position);
        qDebug("Has appended On Device Array Index = %d", position);
    }
}

void DoserSupervisor::switchOn(int position, bool on)
{
    if (!isValid(position))
        return;
    K310Device *doser = devices.at(position);
    doser->setDeviceActive(on);
    if (on) {
        connectionTest(position);
        return;
    }
    // Off: nothing of its contact is kept for when it is switched on again.
    doser->setDeviceNeedToBeChecked(false);
    alarmTexts[position].clear();
}

void DoserSupervisor::sendIfOnline(int position, void (K310Device::*request)())
{
    if (isOnline(position))
        (devices.at(position)->*request)();
}

void DoserSupervisor::connectionTest(int position)
{
    if (!isValid(position))
        return;
    for (auto request : {&K310Device::requestScale, &K310Device::requestTotalCommonWeight,
                         &K310Device::requestTotalCommonDoseCount, &K310Device::requestWeightScale,
                         &K310Device::requestNPD, &K310Device::requestDoseFaultPlus,
                         &K310Device::requestDoseFaultMinus, &K310Device::requestPOVersion})
        sendIfOnline(position, request);
}

void DoserSupervisor::connectionError(int id)
{
    const int position = positionOf(id);
    if (position < 0 || !isActive(position))
        return;
    image.update(position, [](DoserImage &shown) { shown.state = DoserState::NoConnection; });
    if (isLost(position))
        return;
    setLost(position, true);
    emit doserLost(position);
}

void DoserSupervisor::currentState(int id, const QString &state)
{
    const int position = positionOf(id);
    if (position < 0 || !isActive(position))
        return;
    DoserState reported;
    const bool named = doserStateFromText(state, reported);
    if (!named || reported != DoserState::Alarm) {
        alarmTexts[position].clear();
        image.update(position, [](DoserImage &shown) { shown.alarmCode = 0; });
        emit alarmCleared(position);
    }
    if (!named)
        emit unnamedState(position, state);
    if (!isLost(position))
        return;
    setLost(position, false);
    connectionTest(position);
    emit doserRegained(position);
}

void DoserSupervisor::stateReported(int id, DoserState state)
{
    const int position = positionOf(id);
    if (position < 0 || !isActive(position))
        return;
    image.update(position, [&](DoserImage &shown) { shown.state = state; });
}

void DoserSupervisor::workError(int id, const QString &text)
{
    const int position = positionOf(id);
    if (position < 0)
        return;
    const int code = K310Device::errorCodeOf(text);
    image.update(position, [code](DoserImage &shown) { shown.alarmCode = qMax(code, 0); });
    // Every reply repeats the alarm; it is told once.
    if (text == alarmTexts.at(position))
        return;
    alarmTexts[position] = text;
    emit alarmRaised(position, text, code);
}

void DoserSupervisor::startTimers()
{
    if (!activityTimer.isActive())
        activityTimer.start(ActivityPeriodMs);
    setWeightPolling(true);
}

void DoserSupervisor::stopTimers()
{
    activityTimer.stop();
    setWeightPolling(false);
}

void DoserSupervisor::setWeightPolling(bool on)
{
    if (!on) {
        weightTimer.stop();
        return;
    }
    if (!weightTimer.isActive())
        weightTimer.start(WeightPeriodMs);
}

void DoserSupervisor::checkActivity()
{
    emit activityChecked();
    // A lost doser stops a batch that needs it; while one runs without it, it is probed less
    // often, so its time-outs take little of the line from the dosers at work.
    if (batch && batch->isRunning() && ++roundsInBatch % ProbeRoundsInBatch != 0)
        return;
    // One lost doser a round: a silent one costs the line one time-out per probe.
    for (int i = 0; i < devices.size(); ++i) {
        const int position = (activityPosition + i) % int(devices.size());
        if (isLost(position)) {
            activityPosition = position + 1;
            devices.at(position)->requestWeightNETTO();
            return;
        }
    }
}

void DoserSupervisor::pollWeight()
{
    if (polled >= 0) {
        pollDue = true;
        return;
    }
    for (int i = 0; i < devices.size(); ++i) {
        const int position = (weightPosition + i) % int(devices.size());
        if (!isOnline(position))
            continue;
        weightPosition = position + 1;
        polled = position;
        pollQuestion = 0;
        pollStep();
        return;
    }
}

void DoserSupervisor::pollStep()
{
    if (!isValid(polled)) {
        polled = -1;
        return;
    }
    K310Device *doser = devices.at(polled);
    switch (pollQuestion++) {
    case 0:
        doser->requestWeightNETTO();
        break;
    case 1:
        doser->requestDoseCount();
        break;
    default:
        doser->requestTotalWeight();
        polled = -1;
        if (pollDue && weightTimer.isActive()) {
            pollDue = false;
            pollWeight();
        }
        return;
    }
    pollPause.start();
}

void DoserSupervisor::resetErrorFlag(int position)
{
    if (isValid(position))
        devices.at(position)->resetErrorFlag();
}

void DoserSupervisor::discharge(int position)
{
    if (isValid(position))
        devices.at(position)->uploadDose();
}

void DoserSupervisor::stopWork(int position)
{
    if (isValid(position))
        devices.at(position)->stopWork();
}

void DoserSupervisor::askTotalCommonWeight(int position)
{
    if (isValid(position))
        devices.at(position)->requestTotalCommonWeight();
}

void DoserSupervisor::askTotalCommonDoseCount(int position)
{
    if (isValid(position))
        devices.at(position)->requestTotalCommonDoseCount();
}

void DoserSupervisor::askDoseCount(int position)
{
    if (isValid(position))
        devices.at(position)->requestDoseCount();
}

void DoserSupervisor::askNetWeight(int position)
{
    if (isValid(position))
        devices.at(position)->requestWeightNETTO();
}

void DoserSupervisor::fillIfOnline(int position, double weight, quint8 decimals)
{
    if (!isOnline(position))
        return;
    const QString text = QString::number(weight, 'f', decimals);
    devices.at(position)->resetErrorFlag();
    devices.at(position)->downloadDose(text, decimals);
    emit doseOrdered(position, text);
}

void DoserSupervisor::dischargeIfOnline(int position)
{
    if (!isOnline(position))
        return;
    devices.at(position)->resetErrorFlag();
    devices.at(position)->uploadDose();
}

void DoserSupervisor::askWeighingLimitIfOnline(int position)
{
    if (isOnline(position))
        devices.at(position)->requestNPD();
}

#include "moc_dosersupervisor.cpp"
