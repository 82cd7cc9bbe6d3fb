#ifndef DAILYBACKUP_H
#define DAILYBACKUP_H

#include <QObject>
#include <QString>
#include <QThread>

class DataBackup;
class QTimer;

// Makes the day's copy of a records file (see DataBackup) on a thread of its own, so a copy
// never holds up the doser's poll cycle: looks at start and then every CheckPeriodMs. A finished
// batch is copied at once, on the same thread.
class DailyBackup : public QObject
{
    Q_OBJECT

public:
    static constexpr int CheckPeriodMs = 60 * 60 * 1000;

    explicit DailyBackup(const QString &databaseFile, QObject *parent = nullptr);
    // Waits for a copy under way.
    ~DailyBackup() override;

    void start();
    // Safe from any thread; the copy is made on the backup's.
    void copyAfterButch(qint64 butchId);

signals:
    // Sent from the backup's thread.
    void copyMade(const QString &copy);
    void copyFailed(const QString &message);

private:
    void copyIfDue();
    void report(const DataBackup &backup, const QString &copy);

    QString file;
    QThread thread;
    // Lives on the thread; its timer's calls run there.
    QObject *worker = nullptr;
    QTimer *timer = nullptr;
};

#endif // DAILYBACKUP_H
