#ifndef RECEIPTPARAMETERS_H
#define RECEIPTPARAMETERS_H

#include <QString>

// The doser's working parameters as the console knows them, kept in a table of the console's own
// in a recipe file. Weights stay the texts the console shows (fixed-point with `scale` decimals,
// "." as point), so they come back to the last digit; an empty weight is one that was not set.
// Reading and writing return the message for the operator, or an empty text on success.
class ReceiptParameters
{
public:
    static constexpr int MaxScale = 9;

    QString productName;
    QString taskWeight;
    QString doseFaultPlus;
    QString doseFaultMinus;
    QString weightScale;
    int scale = 0;

    // Replaces what the recipe file holds; the file must exist (the recipe windows make it).
    QString writeTo(const QString &filePath) const;
    // Takes what the recipe file holds; this object is left alone on failure.
    QString readFrom(const QString &filePath);
    // Why these parameters do not fit a doser that now works with that unit and decimals;
    // empty when they fit.
    QString mismatchWith(const QString &doserWeightScale, int doserScale) const;

    bool operator==(const ReceiptParameters &other) const;

private:
    bool isValid() const;
};

#endif // RECEIPTPARAMETERS_H
