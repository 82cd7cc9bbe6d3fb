// The main window's host of formula batches: the start dialog and the formula window, and the
// batches of a split size run one after another.
#include "formulawindow.h"
#include "k310_halvern.h"
#include "lotnumbers.h"

namespace {

const QString SplitQuestion =
    QStringLiteral("Размер больше наибольшей партии рецептуры.\nРазделить на равные партии "
                   "(%1 по %2) и выполнить их одну за другой?");

} // namespace

QList<LineCapacity> K310_Halvern::lineCapacities() const
{
    QList<LineCapacity> line;
    for (int position = 0; position < doserCount(); ++position) {
        const DoserWork &work = batch->work(position);
        LineCapacity capacity;
        capacity.doser = doser(position)->getDeviceID();
        capacity.npd = work.npd;
        capacity.scale = work.scale;
        capacity.known = work.npdReported && work.npd > 0;
        capacity.name = doserNames.value(position);
        line << capacity;
    }
    return line;
}

void K310_Halvern::showFormulas(QWidget *over)
{
    if (!formulaWindow) {
        formulaWindow =
            std::make_unique<FormulaWindow>(database.fileName(), lineCapacities(), *access, this);
        formulaWindow->setPrompts(prompts);
        connect(formulaWindow.get(), &FormulaWindow::formulaChanged, this,
                [this](const QString &before, const QString &after) {
                    noteChange(JournalEvent::SettingChanged, QStringLiteral("рецептура"), before,
                               after);
                });
    }
    formulaWindow->setLine(lineCapacities());
    centreOverWindow(formulaWindow.get());
    formulaWindow->exec();
    Q_UNUSED(over);
}

void K310_Halvern::formulaButton()
{
    if (batch->isRunning())
        return;
    FormulaStartDialog dialog(database, this);
    dialog.setLine(lineCapacities());
    connect(&dialog, &FormulaStartDialog::formulasWanted, &dialog, [this, &dialog] {
        showFormulas(&dialog);
        dialog.reload();
    });
    centreOverWindow(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return;
    FormulaStartDialog::Choice choice = dialog.choice();
    if (choice.sizes.isEmpty())
        return;
    if (choice.sizes.size() > 1
        && ask(SplitQuestion.arg(choice.sizes.size())
                   .arg(QString::number(choice.sizes.first(), 'f', 2)))
               != Answer::Yes)
        return;
    formulaRun = choice;
    startFormulaBatch();
}

void K310_Halvern::startFormulaBatch()
{
    if (formulaRun.sizes.isEmpty())
        return;
    const Formula &formula = formulaRun.formula;
    const double size = formulaRun.sizes.first();
    // A typed lot goes with the first batch; those after take the pattern's.
    const QString pattern = formulaRun.lot.isEmpty() ? formula.lotPattern : QString();
    const QString lot =
        formulaRun.lot.isEmpty() ? LotNumbers(database).next(pattern) : formulaRun.lot;
    formulaRun.lot.clear();
    if (const QString problem = LotNumbers::problem(lot); !problem.isEmpty()) {
        formulaRun = {};
        inform(QStringLiteral("Номер партии: %1\nВведите его или задайте шаблон в рецептуре.")
                   .arg(problem));
        return;
    }
    batch->setLot(lot, pattern);
    batch->startFormula(BatchFormula::of(formula, size, lineCapacities()));
    if (batch->state() != BatchState::Running)
        formulaRun = {};
}

void K310_Halvern::formulaBatchEnded(BatchState state)
{
    if (formulaRun.sizes.isEmpty() || state != BatchState::Finished)
        return;
    // Another batch run meanwhile ends the split.
    if (batch->formula().name != formulaRun.formula.name) {
        formulaRun = {};
        return;
    }
    formulaRun.sizes.removeFirst();
    if (!formulaRun.sizes.isEmpty())
        QTimer::singleShot(0, this, &K310_Halvern::startFormulaBatch);
}
