#include "journalevent.h"

QList<JournalEvent::Kind> JournalEvent::kinds()
{
    return {ButchStarted,     ButchStopped,       ButchContinued,     ButchRestored,
            ButchFinished,    ButchClosed,        ButchDeleted,       DoserAlarm,
            ConnectionLost,   ConnectionRestored, ManualOrder,        DoserAddressChanged,
            PortChanged,      RateChanged,        ProgramStarted,     ProgramExited,
            RecordNotWritten, SettingChanged,     AccessLevelChanged, PinChanged,
            WrongPin,         PinsReset,          AccessProblem,      PlantLink,
            RecordsRecovered, FileModeChanged,    ComponentsRescaled};
}

QString JournalEvent::caption(int kind)
{
    switch (kind) {
    case ButchStarted:
        return QStringLiteral("Партия начата");
    case ButchStopped:
        return QStringLiteral("Партия остановлена");
    case ButchContinued:
        return QStringLiteral("Партия продолжена");
    case ButchRestored:
        return QStringLiteral("Партия восстановлена");
    case ButchFinished:
        return QStringLiteral("Партия выполнена");
    case ButchClosed:
        return QStringLiteral("Партия закрыта");
    case ButchDeleted:
        return QStringLiteral("Партия удалена");
    case DoserAlarm:
        return QStringLiteral("Авария дозатора");
    case ConnectionLost:
        return QStringLiteral("Связь потеряна");
    case ConnectionRestored:
        return QStringLiteral("Связь восстановлена");
    case ManualOrder:
        return QStringLiteral("Ручная команда");
    case DoserAddressChanged:
        return QStringLiteral("Изменён номер дозатора");
    case PortChanged:
        return QStringLiteral("Изменён порт");
    case RateChanged:
        return QStringLiteral("Изменена скорость");
    case ProgramStarted:
        return QStringLiteral("Запуск программы");
    case ProgramExited:
        return QStringLiteral("Выход из программы");
    case RecordNotWritten:
        return QStringLiteral("Ошибка записи в базу данных");
    case SettingChanged:
        return QStringLiteral("Изменение настройки");
    case AccessLevelChanged:
        return QStringLiteral("Смена уровня доступа");
    case PinChanged:
        return QStringLiteral("Изменён PIN");
    case WrongPin:
        return QStringLiteral("Неверный PIN");
    case PinsReset:
        return QStringLiteral("Сброс PIN");
    case AccessProblem:
        return QStringLiteral("Ошибка уровней доступа");
    case PlantLink:
        return QStringLiteral("Связь с цехом");
    case RecordsRecovered:
        return QStringLiteral("Восстановление данных");
    case FileModeChanged:
        return QStringLiteral("Права доступа к файлу");
    case ComponentsRescaled:
        return QStringLiteral("Пересчёт компонентов");
    }
    return QString::number(kind);
}
