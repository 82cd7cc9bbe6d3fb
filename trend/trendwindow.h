#ifndef TRENDWINDOW_H
#define TRENDWINDOW_H

#include "cycletrace.h"
#include "ui_trendForm.h"

#include <QDialog>
#include <QTimer>

#include <functional>

class TrendChart;

// The trend of the batch in work (or of the last one), beside the main window: redrawn from
// its cycles at most twice a second while it is shown, so a fast doser costs no more.
class TrendWindow : public QDialog, private Ui::trendForm
{
    Q_OBJECT

public:
    static constexpr int RedrawMs = 500;

    using Source = std::function<QList<CycleTrace>()>;
    explicit TrendWindow(Source cycles, QWidget *parent = nullptr);

    void setCaption(const QString &caption);
    void setUnit(const QString &unit);
    // The cycles changed: drawn at the next redraw while the window is shown.
    void cyclesChanged();
    TrendChart *chart() const { return trend; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void redraw();

    Source source;
    TrendChart *trend;
    QTimer redrawTimer;
};

#endif // TRENDWINDOW_H
