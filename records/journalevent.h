#ifndef JOURNALEVENT_H
#define JOURNALEVENT_H

#include <QDateTime>
#include <QList>
#include <QString>

// One entry of the event journal: what happened, when, and to which batch and doser.
struct JournalEvent
{
    // Stored by number: never renumber a kind, only add new ones.
    enum Kind : int {
        ButchStarted = 1,
        ButchStopped = 2,
        ButchContinued = 3,
        ButchRestored = 4,
        ButchFinished = 5,
        ButchClosed = 6,
        ButchDeleted = 7,
        DoserAlarm = 8,
        ConnectionLost = 9,
        ConnectionRestored = 10,
        ManualOrder = 11,
        DoserAddressChanged = 12,
        PortChanged = 13,
        RateChanged = 14,
        ProgramStarted = 15,
        ProgramExited = 16,
        RecordNotWritten = 17,
        // Who may change what: every change carries the level, the old and the new value.
        SettingChanged = 18,
        AccessLevelChanged = 19,
        PinChanged = 20,
        WrongPin = 21,
        PinsReset = 22,
        AccessProblem = 23,
        // The plant link: the broker or the Modbus server failed, or came back.
        PlantLink = 24,
        // data.db was found damaged or behind its mark, and what was brought back.
        RecordsRecovered = 25,
        // data.db or the settings file was readable by everybody at start.
        FileModeChanged = 26,
        // A formula batch's components still to come were given new targets to keep the mix's
        // ratio to one that ended outside its tolerance: the old and the new targets.
        ComponentsRescaled = 27,
    };

    static constexpr qint64 NoButch = 0;
    static constexpr int NoDevice = -1;
    static constexpr int NoErrorCode = -1;

    // Every kind, in the order the journal window offers them.
    static QList<Kind> kinds();
    // The operator's name of a kind; the number itself for a kind this program does not know.
    static QString caption(int kind);

    QDateTime moment;
    int kind = ProgramStarted;
    qint64 butchId = NoButch;
    int deviceId = NoDevice;
    int errorCode = NoErrorCode;
    QString text;
};

#endif // JOURNALEVENT_H
