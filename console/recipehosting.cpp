// The console as host of the recipe panel: a recipe keeps the doser's working parameters as
// the console knows them, and loading one applies them to the panel and the doser.
#include "k310_halvern.h"

#include "k310device.h"
#include "k310settings.h"
#include "receiptbutton.h"
#include "receiptparameters.h"

#include <QFileInfo>
#include <QLayout>

namespace {

// The editors' accessible names, which the editor slots take the doser position from.
const QString TaskWeightEditor = QStringLiteral("11");
const QString DoseFaultPlusEditor = QStringLiteral("12");
const QString DoseFaultMinusEditor = QStringLiteral("13");

QString recipeName(const QString &path)
{
    return QStringLiteral("рецепт «%1»").arg(QFileInfo(path).completeBaseName());
}

// What the journal keeps of a recipe's contents.
QString recipeSummary(const ReceiptParameters &recipe)
{
    return QStringLiteral("продукт %1, задание %2, допуск + %3, допуск − %4")
        .arg(recipe.productName, recipe.taskWeight, recipe.doseFaultPlus, recipe.doseFaultMinus);
}

} // namespace

void K310_Halvern::wireRecipes()
{
    ReceiptButton *panel = ui.receiptButton;
    // In the row of the window's buttons the panel takes their height and icon size.
    if (panel->layout())
        panel->layout()->setContentsMargins(0, 0, 0, 0);
    panel->receiptEditorButton->setMinimumHeight(ui.exitButton->minimumHeight());
    panel->receiptEditorButton->setIconSize(ui.exitButton->iconSize());
    panel->createReceiptsStoreDir();
    connect(panel, &ReceiptButton::receiptDialogOpened, this, &K310_Halvern::openRecipes);
    connect(panel, &ReceiptButton::createReceiptButtonClicked, panel,
            &ReceiptButton::showCreateReceiptDialog);
    connect(panel, &ReceiptButton::receiptCanBeSaved, this, &K310_Halvern::saveRecipe);
    connect(panel, &ReceiptButton::receiptCanBeRewrited, this, &K310_Halvern::rewriteRecipe);
    connect(panel, &ReceiptButton::receiptCanBeLoaded, this, &K310_Halvern::loadRecipe);
    connect(panel, &ReceiptButton::receiptRenamed, this,
            [this](const QString &before, const QString &after) {
                noteChange(JournalEvent::SettingChanged, QStringLiteral("имя рецепта"), before,
                           after);
            });
    connect(panel, &ReceiptButton::receiptDeleted, this, [this](const QString &name) {
        noteChange(JournalEvent::SettingChanged, QStringLiteral("рецепт удалён"), name, QString());
    });
}

void K310_Halvern::openRecipes()
{
    if (!mayChange(AccessLevel::Technologist))
        return;
    // A running batch keeps its parameters: recipes are only looked at meanwhile.
    if (isBatchRunning())
        ui.receiptButton->desableChangeLoadReceiptButtons();
    else
        ui.receiptButton->enableChangeLoadReceiptButtons();
    ui.receiptButton->showReceiptDialog();
}

ReceiptParameters K310_Halvern::currentRecipe() const
{
    const DoserWork &work = this->work(selected);
    ReceiptParameters recipe;
    recipe.productName = doser(selected)->getProductName();
    recipe.taskWeight = ui.productWeightK310_11->text();
    recipe.doseFaultPlus = ui.doseFaultPlusK310_11->text();
    recipe.doseFaultMinus = ui.doseFaultMinusK310_11->text();
    recipe.weightScale = work.weightScale;
    recipe.scale = work.scale;
    return recipe;
}

void K310_Halvern::saveRecipe(const QString &path)
{
    const ReceiptParameters recipe = currentRecipe();
    const QString problem = recipe.writeTo(path);
    if (problem.isEmpty()) {
        noteChange(JournalEvent::SettingChanged, recipeName(path), QString(),
                   recipeSummary(recipe));
        ui.receiptButton->receiptWasSaved();
        return;
    }
    inform(problem);
    ui.receiptButton->receiptWasNotSaved();
}

void K310_Halvern::rewriteRecipe(const QString &path)
{
    ReceiptParameters before;
    const bool beforeRead = before.readFrom(path).isEmpty();
    const ReceiptParameters recipe = currentRecipe();
    const QString problem =
        isBatchRunning() ? QStringLiteral("Идёт выполнение задания.") : recipe.writeTo(path);
    if (problem.isEmpty()) {
        noteChange(JournalEvent::SettingChanged, recipeName(path),
                   beforeRead ? recipeSummary(before) : QString(), recipeSummary(recipe));
        ui.receiptButton->receiptWasRewrited();
        return;
    }
    inform(problem);
    ui.receiptButton->receiptWasNotRewrited();
}

void K310_Halvern::loadRecipe(const QString &path)
{
    const DoserWork &work = this->work(selected);
    ReceiptParameters recipe;
    QString problem;
    if (isBatchRunning())
        problem = QStringLiteral("Идёт выполнение задания.");
    else if (!isOnline(selected))
        problem = QStringLiteral("Отсутствует связь.");
    if (problem.isEmpty())
        problem = recipe.readFrom(path);
    if (problem.isEmpty())
        problem = recipe.mismatchWith(work.weightScale, work.scale);
    if (!problem.isEmpty()) {
        inform(problem);
        ui.receiptButton->receiptWasNotLoaded();
        return;
    }

    // Selecting a listed product in the dialog retitles the panel; one no longer listed the
    // doser takes all the same.
    noteChange(JournalEvent::SettingChanged, QStringLiteral("загружен рецепт"), QString(),
               QStringLiteral("%1: %2").arg(recipeName(path), recipeSummary(recipe)));
    getProductsNames();
    k310->setCurrentProductType(recipe.productName);
    if (doser(selected)->getProductName() != recipe.productName)
        changeK310Product(selected, recipe.productName);
    if (!recipe.taskWeight.isEmpty())
        setWeight(recipe.taskWeight, TaskWeightEditor);
    if (!recipe.doseFaultPlus.isEmpty())
        setDoseFaultPlus(recipe.doseFaultPlus, DoseFaultPlusEditor);
    if (!recipe.doseFaultMinus.isEmpty())
        setDoseFaultMinus(recipe.doseFaultMinus, DoseFaultMinusEditor);
    ui.receiptButton->receiptWasLoaded();
}
