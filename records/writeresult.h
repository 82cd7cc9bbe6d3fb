#ifndef WRITERESULT_H
#define WRITERESULT_H

#include <QString>

class Database;

// What a write to data.db came to: done, or not with SQLite's reason. The reason travels with the
// result, so the caller that acts on a failure does not read it back from a connection whose next
// statement may have replaced it; a result left unread is a compiler warning.
class [[nodiscard]] WriteResult
{
public:
    // Done.
    WriteResult() = default;
    static WriteResult failed(const QString &reason);
    // Done when `done`; otherwise failed with the connection's message for what just failed.
    static WriteResult of(bool done, const Database &database);

    bool isDone() const { return done; }
    explicit operator bool() const { return done; }
    // Empty when done.
    const QString &reason() const { return why; }

private:
    bool done = true;
    QString why;
};

#endif // WRITERESULT_H
