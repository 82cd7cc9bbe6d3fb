#include "formulastartdialog.h"

#include "formulastore.h"
#include "lineeditembedded.h"
#include "ui_formulaStartForm.h"

#include <QHeaderView>

namespace {

enum TargetColumn { ProductColumn, DoserColumn, TargetColumnIndex, ToleranceColumn, Columns };

double sizeOf(const QString &text)
{
    bool ok = false;
    const double size = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok ? size : 0;
}

int scaleOf(int doser, const QList<LineCapacity> &line)
{
    for (const LineCapacity &capacity : line) {
        if (capacity.doser == doser)
            return capacity.scale;
    }
    return 2;
}

} // namespace

FormulaStartDialog::FormulaStartDialog(Database &records, QWidget *parent)
    : QDialog(parent)
    , form(std::make_unique<Ui::formulaStartForm>())
    , database(records)
{
    form->setupUi(this);
    form->targetsTable->setColumnCount(Columns);
    form->targetsTable->setHorizontalHeaderLabels(
        {QStringLiteral("Продукт"), QStringLiteral("Дозатор"), QStringLiteral("Задание"),
         QStringLiteral("Допуск + / −")});
    form->targetsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    form->targetsTable->horizontalHeader()->setStretchLastSection(true);
    form->targetsTable->verticalHeader()->hide();
    connect(form->formulaList, &QListWidget::currentTextChanged, this,
            &FormulaStartDialog::showPlan);
    connect(form->sizeBox, &LineEditEmbedded::textHasEntered, this, [this](const QString &text) {
        if (sizeOf(text) > 0)
            form->sizeBox->setText(text.trimmed().replace(QLatin1Char(','), QLatin1Char('.')));
        showPlan();
    });
    connect(form->lotBox, &LineEditEmbedded::textHasEntered, this,
            [this](const QString &text) { form->lotBox->setText(text.trimmed()); });
    connect(form->formulasButton, &QPushButton::clicked, this, &FormulaStartDialog::formulasWanted);
    connect(form->startButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(form->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    reload();
}

FormulaStartDialog::~FormulaStartDialog() = default;

void FormulaStartDialog::setLine(const QList<LineCapacity> &line)
{
    capacities = line;
    showPlan();
}

void FormulaStartDialog::reload()
{
    const QString shown =
        form->formulaList->currentItem() ? form->formulaList->currentItem()->text() : QString();
    form->formulaList->clear();
    form->formulaList->addItems(FormulaStore(database).names());
    const QList<QListWidgetItem *> again = form->formulaList->findItems(shown, Qt::MatchExactly);
    if (!again.isEmpty())
        form->formulaList->setCurrentItem(again.first());
    showPlan();
}

FormulaStartDialog::Choice FormulaStartDialog::choice() const
{
    return {chosen, sizes, form->lotBox->text()};
}

void FormulaStartDialog::showPlan()
{
    form->targetsTable->setRowCount(0);
    sizes.clear();
    form->startButton->setEnabled(false);
    const QListWidgetItem *item = form->formulaList->currentItem();
    const std::optional<Formula> formula =
        item ? FormulaStore(database).loadByName(item->text()) : std::nullopt;
    if (!formula) {
        form->reasonLabel->setText(QStringLiteral("Выберите рецептуру и задайте размер партии."));
        return;
    }
    chosen = *formula;
    const double size = sizeOf(form->sizeBox->text());
    if (const QString refusal = FormulaPlan::sizeRefusal(chosen, size, capacities);
        !refusal.isEmpty()) {
        form->reasonLabel->setText(refusal);
        return;
    }
    sizes = FormulaPlan::splitSizes(chosen, size, capacities);
    if (sizes.isEmpty())
        return;
    // The targets of one batch: of the first, where the size is split.
    const QList<ComponentTarget> targets = FormulaPlan::targets(chosen, sizes.first(), capacities);
    form->targetsTable->setRowCount(int(targets.size()));
    for (int row = 0; row < targets.size(); ++row) {
        const ComponentTarget &target = targets.at(row);
        const int decimals = scaleOf(target.doser, capacities);
        const QStringList cells = {target.product, FormulaPlan::doserName(target.doser, capacities),
                                   QString::number(target.target, 'f', decimals),
                                   QStringLiteral("+%1 / −%2")
                                       .arg(QString::number(target.plusTolerance, 'f', decimals),
                                            QString::number(target.minusTolerance, 'f', decimals))};
        for (int column = 0; column < Columns; ++column)
            form->targetsTable->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    }
    form->reasonLabel->setText(
        sizes.size() == 1
            ? QString()
            : QStringLiteral("Больше наибольшей партии рецептуры: будет выполнено партий - %1, "
                             "по %2, одна за другой.")
                  .arg(sizes.size())
                  .arg(QString::number(sizes.first(), 'f', 2)));
    form->startButton->setEnabled(true);
}

#include "moc_formulastartdialog.cpp"
