#ifndef STAT_H
#define STAT_H

#include "database.h"
#include "daysummaries.h"
#include "doseaccuracy.h"
#include "modalprompts.h"
#include "recordswindow.h"
#include "ui_statForm.h"

class QMessageBox;

// The statistics window: the weight of every product delivered over a range of working days,
// in kilograms, and its export as a semicolon-separated file. It only reads the records.
class Stat : public RecordsWindow, public Ui::statForm
{
    Q_OBJECT

public:
    explicit Stat(const QString &databaseFile = QString::fromLatin1(DatabaseFileName),
                  QWidget *parent = nullptr);
    ~Stat() override;

    // Reloads the days on which batches were started, with no day chosen.
    void fillDates();
    // Writes the shown range and table, dose accuracy included (see CsvText); false when the
    // file could not be written.
    bool saveCsv(const QString &fileName) const;
    void setPrompts(const ModalPrompts &replacement) { prompts = replacement; }

private slots:
    void addDateTo(int index);
    void getStat();
    qreal getSumWeight(int firstButch, int lastButch, const QString &product, const QString &unit);
    void saveProduct();
    // Shows the columns of the chosen set, each as wide as its contents.
    void fitColumns();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct UnitAccuracy
    {
        QString product;
        QString unit;
        DoseAccuracy figures;
    };

    int butchOfDay(const QString &statement, const QString &day);
    void showTable(const QStringList &products, const QList<double> &kilograms,
                   const QList<UnitAccuracy> &accuracy);
    // Each product's lots in the range, on the page of the less used columns and last in the
    // file.
    void showLots(int firstButch, int lastButch);

    Database database;
    // The figures of a range, from the days' summaries where the file has them.
    DaySummaries summaries;
    QMessageBox *warningBox = nullptr;
    ModalPrompts prompts;
};

#endif // STAT_H
