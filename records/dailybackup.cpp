#include "dailybackup.h"

#include "databackup.h"

#include <QDateTime>
#include <QTimer>

DailyBackup::DailyBackup(const QString &databaseFile, QObject *parent)
    : QObject(parent)
    , file(databaseFile)
{
    thread.setObjectName(QStringLiteral("data.db backup"));
}

DailyBackup::~DailyBackup()
{
    // The worker and its timer end on their own thread, after a copy under way.
    if (worker)
        QMetaObject::invokeMethod(
            worker, [this] { delete worker; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

void DailyBackup::start()
{
    if (worker)
        return;
    worker = new QObject;
    timer = new QTimer(worker);
    timer->setInterval(CheckPeriodMs);
    connect(timer, &QTimer::timeout, worker, [this] { copyIfDue(); });
    worker->moveToThread(&thread);
    thread.start(QThread::LowPriority);
    QMetaObject::invokeMethod(worker, [this] {
        copyIfDue();
        timer->start();
    });
}

void DailyBackup::copyIfDue()
{
    DataBackup backup(file);
    const QDateTime now = QDateTime::currentDateTime();
    if (!backup.isDue(now))
        return;
    report(backup, backup.makeCopy(now));
}

void DailyBackup::copyAfterButch(qint64 butchId)
{
    if (!worker)
        return;
    QMetaObject::invokeMethod(worker, [this, butchId] {
        DataBackup backup(file);
        report(backup, backup.makeCopy(QDateTime::currentDateTime(), butchId));
    });
}

void DailyBackup::report(const DataBackup &backup, const QString &copy)
{
    if (copy.isEmpty())
        emit copyFailed(backup.lastError());
    else
        emit copyMade(copy);
}

#include "moc_dailybackup.cpp"
