// The console as host of the access levels: the level button, the PIN entry before a control
// the level does not allow, the return to Оператор and the journal's record of every change.
#include "consolelog.h"
#include "k310_halvern.h"

#include "datafileaccess.h"
#include "filemodes.h"
#include "k310settings.h"
#include "operatormessages.h"
#include "product.h"
#include "rs232settings.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace {

// The idle time before the return to Оператор, in seconds, in the console's settings store.
const char *const IdleSecondsKey = "accessIdleSeconds";
constexpr int MsPerSecond = 1000;

const QString MalformedPinText = QStringLiteral("PIN — от 4 до 8 цифр.");

QString levelName(AccessLevel level)
{
    return QStringLiteral("«%1»").arg(accessLevelCaption(level));
}

} // namespace

void K310_Halvern::wireAccess()
{
    const std::unique_ptr<QSettings> store = k310Settings::makeStore();
    bool isNumber = false;
    const int seconds = store->value(IdleSecondsKey).toInt(&isNumber);
    if (isNumber && seconds > 0)
        access->setIdleTimeout(qint64(seconds) * MsPerSecond);

    connect(access.get(), &AccessControl::levelChanged, this, &K310_Halvern::accessLevelChanged);
    connect(access.get(), &AccessControl::wrongPinEntered, this, &K310_Halvern::wrongPinEntered);
    connect(access.get(), &AccessControl::pinChanged, this, &K310_Halvern::pinChanged);
    connect(ui.accessButton, &QPushButton::clicked, this, &K310_Halvern::showAccess);
    activity = std::make_unique<ActivityFilter>([this] { access->noteActivity(); });
    qApp->installEventFilter(activity.get());
    connect(&idleTimer, &QTimer::timeout, access.get(), &AccessControl::checkIdle);
    idleTimer.start(IdleCheckPeriodMs);
    showAccessLevel();
}

void K310_Halvern::reportAccessProblem()
{
    if (!accessStore->isDamaged())
        return;
    const QString text =
        QStringLiteral("Таблица уровней доступа в data.db повреждена (%1). Работа идёт на уровне "
                       "«Оператор»; PIN восстанавливает администратор компьютера.")
            .arg(accessStore->problem());
    journal.record(JournalEvent::AccessProblem, text);
    inform(text);
}

bool K310_Halvern::reportRecordsProblem()
{
    const QString text = DataFileAccess::writeProblem(database);
    if (text.isEmpty())
        return false;
    // Also for the session's log: the journal cannot take it.
    qCWarning(lcConsole).noquote() << text;
    inform(text);
    return true;
}

void K310_Halvern::tightenFileModes()
{
    const QString settingsFile = k310Settings::makeStore()->fileName();
    for (const QString &file : {database.fileName(), settingsFile}) {
        for (const FileModes::Change &change : FileModes::tighten(file)) {
            const QString before = FileModes::modeText(change.before);
            journal.record(JournalEvent::FileModeChanged,
                           change.problem.isEmpty()
                               ? QStringLiteral("права файла %1 сужены: было %2, стало %3")
                                     .arg(change.file, before, FileModes::modeText(change.after))
                               : QStringLiteral("файл %1 могут читать все (%2); сузить права не "
                                                "удалось: %3")
                                     .arg(change.file, before, change.problem));
        }
    }
}

bool K310_Halvern::mayChange(AccessLevel needed)
{
    if (access->allows(needed))
        return true;
    if (accessStore->isDamaged()) {
        inform(QStringLiteral("Нужен уровень %1, но таблица уровней доступа повреждена: PIN не "
                              "проверить.")
                   .arg(levelName(needed)));
        return false;
    }
    const std::optional<QString> pin =
        prompts.enterPin(this, QStringLiteral("PIN уровня %1").arg(levelName(needed)));
    if (!pin)
        return false;
    switch (access->enter(*pin, needed)) {
    case AccessControl::Entry::Granted:
        return true;
    case AccessControl::Entry::TooLow:
        inform(QStringLiteral("Нужен уровень %1.").arg(levelName(needed)));
        return false;
    case AccessControl::Entry::Wrong:
        inform(QStringLiteral("Неверный PIN."));
        return false;
    case AccessControl::Entry::Locked:
        inform(QStringLiteral("Три неверных PIN подряд: ввод заблокирован ещё на %1 с.")
                   .arg((access->lockRemainingMs() + MsPerSecond - 1) / MsPerSecond));
        return false;
    case AccessControl::Entry::Malformed:
        inform(MalformedPinText);
        return false;
    }
    return false;
}

void K310_Halvern::showAccess()
{
    if (!access->isEnabled() || access->level() != AccessLevel::Operator)
        offerAccessChoices();
    else
        mayChange(AccessLevel::Technologist);
}

void K310_Halvern::offerAccessChoices()
{
    if (!accessBox) {
        accessBox = OperatorMessages::makeWarningBox(this);
        accessBox->setIcon(QMessageBox::Question);
        accessBox->setStandardButtons(QMessageBox::NoButton);
    }
    for (QAbstractButton *button : accessBox->buttons())
        accessBox->removeButton(button);
    QAbstractButton *leave = nullptr;
    if (access->isEnabled()) {
        accessBox->setText(QStringLiteral("Уровень доступа: %1.").arg(levelName(access->level())));
        leave = accessBox->addButton(QStringLiteral("Выйти в «Оператор»"), QMessageBox::AcceptRole);
    } else {
        accessBox->setText(QStringLiteral("Уровни доступа выключены: любой может менять "
                                          "настройки. Задайте PIN наладчика, чтобы включить их."));
    }
    QAbstractButton *technologistPin = nullptr;
    if (access->isEnabled() && access->allows(AccessLevel::Engineer))
        technologistPin =
            accessBox->addButton(QStringLiteral("PIN технолога"), QMessageBox::ActionRole);
    QAbstractButton *engineerPin = nullptr;
    if (access->allows(AccessLevel::Engineer))
        engineerPin =
            accessBox->addButton(QStringLiteral("PIN наладчика"), QMessageBox::ActionRole);
    accessBox->addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);

    const QAbstractButton *clicked = prompts.runBox(accessBox);
    if (clicked && clicked == leave)
        access->leave();
    else if (clicked && clicked == technologistPin)
        setNewPin(AccessLevel::Technologist);
    else if (clicked && clicked == engineerPin)
        setNewPin(AccessLevel::Engineer);
}

void K310_Halvern::setNewPin(AccessLevel level)
{
    const std::optional<QString> first = prompts.enterPin(
        this, QStringLiteral("Новый PIN уровня %1 (4–8 цифр)").arg(levelName(level)));
    if (!first)
        return;
    if (!PinDigest::isWellFormed(*first)) {
        inform(MalformedPinText);
        return;
    }
    const std::optional<QString> second =
        prompts.enterPin(this, QStringLiteral("Повторите новый PIN"));
    if (!second)
        return;
    if (*second != *first) {
        inform(QStringLiteral("PIN не совпадают; PIN не изменён."));
        return;
    }
    QString problem;
    if (!access->setPin(level, *first, problem)) {
        inform(problem);
        return;
    }
    showAccessLevel();
    inform(QStringLiteral("PIN уровня %1 задан.").arg(levelName(level)));
}

void K310_Halvern::accessLevelChanged(AccessLevel from, AccessLevel to, const QString &reason)
{
    journal.record(JournalEvent::AccessLevelChanged,
                   QStringLiteral("%1 → %2, %3")
                       .arg(accessLevelCaption(from), accessLevelCaption(to), reason));
    showAccessLevel();
    // A window of a higher level does not stay open for whoever touches the panel next.
    if (!access->allows(AccessLevel::Engineer))
        rs232->hide();
    if (!access->allows(AccessLevel::Technologist)) {
        if (productWindow)
            productWindow->hide();
        ui.receiptButton->closeAllForms();
    }
}

void K310_Halvern::wrongPinEntered(int inRow, bool locked)
{
    QString text = QStringLiteral("неверный PIN, %1-й подряд").arg(inRow);
    if (locked)
        text +=
            QStringLiteral("; ввод заблокирован на %1 с").arg(AccessControl::LockMs / MsPerSecond);
    journal.record(JournalEvent::WrongPin, text);
}

void K310_Halvern::pinChanged(AccessLevel level)
{
    journal.record(JournalEvent::PinChanged,
                   QStringLiteral("%1: задан PIN уровня %2").arg(levelPrefix(), levelName(level)));
}

void K310_Halvern::showAccessLevel()
{
    ui.accessButton->setText(
        access->isEnabled() ? QStringLiteral("Уровень: %1").arg(accessLevelCaption(access->level()))
                            : QStringLiteral("Доступ: без PIN"));
}

QString K310_Halvern::levelPrefix() const
{
    return access->isEnabled() ? accessLevelCaption(access->level()) : QStringLiteral("без PIN");
}

void K310_Halvern::noteChange(JournalEvent::Kind kind, const QString &what, const QString &before,
                              const QString &after, int id)
{
    const QString none = QStringLiteral("—");
    note(kind,
         QStringLiteral("%1: %2: было %3, стало %4")
             .arg(levelPrefix(), what, before.isEmpty() ? none : before,
                  after.isEmpty() ? none : after),
         id);
}
