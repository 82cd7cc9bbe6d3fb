#ifndef FAULTRULE_H
#define FAULTRULE_H

#include "doserparameters.h"

#include <QList>
#include <QString>

// One line fault to inject into the doser's replies, written on the command line as
// KIND:OPTION[,OPTION...]. KIND is drop, corrupt, split, delay, late, garbage or silent;
// the options p=P (each reply with probability P), at=N (the Nth reply, may repeat) and
// every=N (every Nth reply) say when it strikes, ms=N and bytes=N how hard; the option reads
// keeps it to the replies to requests that only read, addr=N to the doser at address N, whose
// own replies at= and every= then count.
class FaultRule
{
public:
    enum class Kind { Drop, Corrupt, Split, Delay, Late, Garbage, Silent };

    // Reads one rule; on failure returns false and explains why in *error.
    static bool parse(const QString &text, FaultRule *rule, QString *error);
    static QString kindName(Kind kind);

    // Whether the rule strikes reply number replyNumber (from 1), given a uniform draw in [0, 1).
    bool strikes(int replyNumber, double draw) const;

    Kind kind = Kind::Drop;
    double probability = 0;
    QList<int> replies;
    int every = 0;
    // Delay, lateness, pause between the pieces of a split reply, or length of a silence.
    int ms = 0;
    int bytes = 0;
    bool readsOnly = false;
    int address = DoserParameters::AnyAddress;
};

#endif // FAULTRULE_H
