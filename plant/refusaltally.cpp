#include "refusaltally.h"

RefusalTally::RefusalTally(int quiet, QObject *parent)
    : QObject(parent)
    , quietMs(quiet)
{ }

RefusalTally::~RefusalTally() = default;

void RefusalTally::count(int kindId, const QString &text)
{
    std::unique_ptr<Kind> &kind = kinds[kindId];
    if (!kind) {
        kind = std::make_unique<Kind>();
        kind->quiet.setSingleShot(true);
        kind->quiet.setInterval(quietMs);
        connect(&kind->quiet, &QTimer::timeout, this,
                [this, tallied = kind.get()] { minuteOver(*tallied); });
    }
    if (kind->quiet.isActive()) {
        ++kind->notTold;
        kind->last = text;
        return;
    }
    kind->quiet.start();
    emit told(text);
}

void RefusalTally::minuteOver(Kind &kind)
{
    if (kind.notTold == 0)
        return;
    const QString text = QStringLiteral("%1 (ещё %2 за минуту)").arg(kind.last).arg(kind.notTold);
    kind.notTold = 0;
    kind.quiet.start();
    emit told(text);
}

#include "moc_refusaltally.cpp"
