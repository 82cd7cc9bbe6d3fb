#ifndef BATCHPROGRESSVIEW_H
#define BATCHPROGRESSVIEW_H

#include "processimage.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;

// How far the batch has come on one doser: the delivered weight against the target, the dose
// against the planned doses, the phase, the time since the start and an estimate of the time
// left, and the batch's lot where it has one. Drawn from the doser's process image; the clock
// moves on its own while the batch runs.
class BatchProgressView : public QWidget
{
    Q_OBJECT

public:
    explicit BatchProgressView(QWidget *parent = nullptr);

    void draw(const DoserImage &doser);
    // Where the production schedule stands, shown with the lot above the bar; empty when no
    // schedule runs.
    void setSchedule(const QString &text);

    static QString phaseText(BatchState state, DosePhase phase);
    // Minutes and seconds, hours in front when there are any.
    static QString durationText(qint64 ms);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void drawClock();
    // The schedule and the lot above the bar, or the bar over both rows when there are none.
    void placeLot(const QString &text);
    void fitLot();
    QString aboveBar() const;

    QProgressBar *delivered;
    QLabel *lot;
    QString lotText;
    // What placeLot() shows: the schedule's and the lot's.
    QString shownAbove;
    QString scheduleText;
    QLabel *dose;
    QLabel *phase;
    QLabel *elapsed;
    QLabel *left;
    QTimer clock;
    DoserImage shown;
};

#endif // BATCHPROGRESSVIEW_H
