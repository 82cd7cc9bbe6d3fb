#ifndef CONSOLEDOSERS_H
#define CONSOLEDOSERS_H

#include "batchline.h"

#include <QList>

#include <functional>

class K310Device;

// The batch's line on the console's doser objects.
class ConsoleDosers : public BatchLine
{
public:
    // The list is the console's and outlives this; a fill's weight is shown through doseShown.
    ConsoleDosers(const QList<K310Device *> &devices,
                  std::function<void(int position, const QString &weight)> doseShown);

    int doserCount() const override;
    int deviceId(int position) const override;
    QString productName(int position) const override;
    bool isOnline(int position) const override;
    bool isLost(int position) const override;

    void resetErrorFlag(int position) override;
    void discharge(int position) override;
    void stopWork(int position) override;
    void askTotalCommonWeight(int position) override;
    void askTotalCommonDoseCount(int position) override;
    void askDoseCount(int position) override;
    void askNetWeight(int position) override;
    void fillIfOnline(int position, double weight, quint8 decimals) override;
    void dischargeIfOnline(int position) override;
    void askWeighingLimitIfOnline(int position) override;

private:
    bool isValid(int position) const { return position >= 0 && position < devices.size(); }

    const QList<K310Device *> &devices;
    std::function<void(int, const QString &)> doseShown;
};

#endif // CONSOLEDOSERS_H
