#ifndef DOSECORRECTIONS_H
#define DOSECORRECTIONS_H

#include "writeresult.h"
#include <QList>
#include <QString>

class Database;

// What the console learned of one doser's fills of one product: the share it takes off the
// ordered weight and the amount in flight it takes off besides, and the doser's last fills as
// discharged / sent with the weight sent (0 when not known), newest last.
struct LearnedCorrection
{
    double correction = 0;
    double inFlight = 0;
    QList<double> ratios;
    QList<double> sent;

    bool isEmpty() const { return ratios.isEmpty() && correction == 0 && inFlight == 0; }
};

// The learned corrections in data.db, one per doser and product, on a connection of the caller
// (so a correction joins the transaction of the dose it was learned from).
class DoseCorrections
{
public:
    explicit DoseCorrections(Database &database);

    // Nothing learned is an empty correction; so is one that cannot be read (see the
    // database's last error).
    LearnedCorrection load(int deviceId, const QString &product);
    WriteResult save(int deviceId, const QString &product, const LearnedCorrection &learned);
    WriteResult reset(int deviceId, const QString &product);
    // The two terms as what they do to the fill: below zero the doser is sent less than wanted.
    static QString termsText(double correction, double inFlight);

private:
    Database &database;
};

#endif // DOSECORRECTIONS_H
