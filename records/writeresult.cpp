#include "writeresult.h"

#include "database.h"

WriteResult WriteResult::failed(const QString &reason)
{
    WriteResult result;
    result.done = false;
    // A failure always says something, even when the library had nothing to say.
    result.why = reason.isEmpty() ? QStringLiteral("неизвестная ошибка") : reason;
    return result;
}

WriteResult WriteResult::of(bool done, const Database &database)
{
    return done ? WriteResult() : failed(database.lastErrorMessage());
}
