#ifndef DOSERPANEL_H
#define DOSERPANEL_H

#include "processimage.h"

#include <QList>
#include <QObject>

class BatchProgressView;
class LineEditEmbedded;
class QGroupBox;
class QLabel;

// The doser panel of the main window showing one doser of the line, the one selected: its
// state, weights and counters drawn from the process image, the fields that changed, and the
// three editors, whose entries it hands on with the position they belong to.
class DoserPanel : public QObject
{
    Q_OBJECT

public:
    // The form's widgets the panel draws into; it owns none of them.
    struct Widgets
    {
        QGroupBox *container = nullptr;
        LineEditEmbedded *taskWeight = nullptr;
        LineEditEmbedded *plusTolerance = nullptr;
        LineEditEmbedded *minusTolerance = nullptr;
        QLabel *state = nullptr;
        QLabel *netWeight = nullptr;
        QLabel *delivered = nullptr;
        QLabel *doseWeight = nullptr;
        QLabel *doseCount = nullptr;
        QLabel *shiftWeight = nullptr;
        QLabel *totalDoseCount = nullptr;
        QLabel *totalWeight = nullptr;
        QList<QLabel *> units;
        BatchProgressView *progress = nullptr;
    };

    DoserPanel(const Widgets &widgets, const ProcessImage &image, QObject *parent = nullptr);

    const Widgets &widgets() const { return form; }
    int position() const { return shownPosition; }
    // Shows another doser: everything is drawn afresh.
    void showPosition(int position);
    // Draws what changed of the doser's image, when it is the one shown.
    void draw(int position);
    // The state label is drawn again at the next draw (after it was cleared or overwritten).
    void forgetState() { stateDrawn = false; }
    void showState(const QString &text, bool bold);
    void setTitle(int address, const QString &product);

signals:
    void taskWeightEntered(int position, const QString &text);
    void plusToleranceEntered(int position, const QString &text);
    void minusToleranceEntered(int position, const QString &text);

private:
    void drawAll();

    Widgets form;
    const ProcessImage &image;
    int shownPosition = 0;
    DoserImage drawn;
    bool stateDrawn = false;
};

#endif // DOSERPANEL_H
