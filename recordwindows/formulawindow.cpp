#include "formulawindow.h"

#include "accesscontrol.h"
#include "lineeditembedded.h"
#include "operatormessages.h"
#include "ui_formulaForm.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>

#include <cmath>

namespace {

const QString ProductsStatement = QStringLiteral(
    "SELECT DISTINCT productName FROM product WHERE productName IS NOT NULL AND productName != '' "
    "ORDER BY productName");

enum ComponentColumn {
    ProductColumn,
    DoserColumn,
    ShareColumn,
    WeightColumn,
    PlusColumn,
    MinusColumn,
    OrderColumn,
    ColumnCount
};

// Shares are shown to the hundredth of a per cent, as the sum is checked.
constexpr int ShareDecimals = 2;
// Shares from weights keep more, so the weight comes back as entered.
constexpr int StoredShareDigits = 12;

bool readNumber(const QString &text, double &value)
{
    bool ok = false;
    value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(value) && value >= 0;
}

QString numberText(double value)
{
    return QString::number(value, 'g', StoredShareDigits);
}

} // namespace

FormulaWindow::FormulaWindow(const QString &databaseFile, const QList<LineCapacity> &capacities,
                             AccessControl &access, QWidget *parent)
    : RecordsWindow(parent)
    , form(std::make_unique<Ui::formulaForm>())
    , database(databaseFile)
    , line(capacities)
    , access(access)
{
    form->setupUi(this);
    finishForm(form->closeButton);
    connect(form->closeButton, &QPushButton::clicked, this, [this] {
        if (editsSettled())
            hide();
    });
    warningBox = OperatorMessages::makeWarningBox(this);
    questionBox = OperatorMessages::makeQuestionBox(this, &yesButton);

    QTableWidget *table = form->componentTable;
    table->setColumnCount(ColumnCount);
    table->setHorizontalHeaderLabels({QStringLiteral("Продукт"), QStringLiteral("Дозатор"),
                                      QStringLiteral("Доля, %"), QStringLiteral("Вес на базу"),
                                      QStringLiteral("Допуск +"), QStringLiteral("Допуск −"),
                                      QStringLiteral("Порядок")});
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(ProductColumn, QHeaderView::Stretch);

    takeText(form->nameField, &FormulaWindow::nameEntered);
    takeText(form->lotPatternField, &FormulaWindow::lotPatternEntered);
    takeNumber(form->baseSizeField, &FormulaWindow::baseSizeEntered);
    takeNumber(form->largestBatchField, &FormulaWindow::largestBatchEntered);
    for (LineEditEmbedded *field :
         {form->shareField, form->plusField, form->minusField, form->orderField})
        takeNumber(field, &FormulaWindow::ignoreNumber);
    connect(form->keepRatioBox, &QCheckBox::toggled, this, [this](bool keep) {
        edited.keepRatio = keep;
        unsaved = true;
    });
    connect(form->byWeightBox, &QCheckBox::toggled, this, &FormulaWindow::weightModeToggled);
    connect(form->formulaList, &QListWidget::itemClicked, this, &FormulaWindow::formulaClicked);
    connect(table, &QTableWidget::cellClicked, this,
            [this](int row, int) { componentClicked(row); });
    connect(form->addComponentButton, &QPushButton::clicked, this, &FormulaWindow::addComponent);
    connect(form->changeComponentButton, &QPushButton::clicked, this,
            &FormulaWindow::changeComponent);
    connect(form->removeComponentButton, &QPushButton::clicked, this,
            &FormulaWindow::removeComponent);
    connect(form->newButton, &QPushButton::clicked, this, [this] {
        if (editsSettled())
            newFormula();
    });
    connect(form->saveButton, &QPushButton::clicked, this, &FormulaWindow::saveFormula);
    connect(form->deleteButton, &QPushButton::clicked, this, &FormulaWindow::deleteFormula);
    connect(&access, &AccessControl::levelChanged, this, &FormulaWindow::showAccess);

    fillDosers();
    newFormula();
    reload();
    showAccess();
}

FormulaWindow::~FormulaWindow() = default;

void FormulaWindow::setLine(const QList<LineCapacity> &capacities)
{
    line = capacities;
    fillDosers();
    showComponents();
}

void FormulaWindow::reload()
{
    fillProducts();
    fillFormulaList(storedName);
    if (storedName.isEmpty())
        return;
    // Changed or removed meanwhile by another connection: shown as data.db holds it.
    if (const std::optional<Formula> stored = store.loadByName(storedName))
        showFormula(*stored);
    else
        newFormula();
}

void FormulaWindow::showEvent(QShowEvent *event)
{
    reload();
    showAccess();
    RecordsWindow::showEvent(event);
}

void FormulaWindow::fillFormulaList(const QString &selected)
{
    QListWidget *list = form->formulaList;
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(store.names());
    const QList<QListWidgetItem *> found = list->findItems(selected, Qt::MatchExactly);
    if (!selected.isEmpty() && !found.isEmpty())
        list->setCurrentItem(found.first());
}

void FormulaWindow::fillProducts()
{
    products.clear();
    if (database.execQuery(ProductsStatement))
        products = database.result().values;
    QComboBox *box = form->productBox;
    const QString current = box->currentText();
    box->clear();
    box->addItems(products);
    box->setCurrentIndex(box->findText(current));
}

void FormulaWindow::fillDosers()
{
    QComboBox *box = form->doserBox;
    const QVariant current = box->currentData();
    box->clear();
    for (const LineCapacity &capacity : line)
        box->addItem(doserText(capacity.doser), capacity.doser);
    const int index = box->findData(current);
    box->setCurrentIndex(index >= 0 ? index : 0);
}

void FormulaWindow::showFormula(const Formula &formula)
{
    edited = formula;
    storedName = formula.id != 0 ? formula.name : QString();
    form->nameField->setText(formula.name);
    form->baseSizeField->setText(formula.baseSize > 0 ? numberText(formula.baseSize) : QString());
    form->largestBatchField->setText(numberText(formula.largestBatch));
    form->lotPatternField->setText(formula.lotPattern);
    {
        const QSignalBlocker quiet(form->keepRatioBox);
        form->keepRatioBox->setChecked(formula.keepRatio);
    }
    selectedComponent = -1;
    showComponents();
    unsaved = false;
}

bool FormulaWindow::editsSettled()
{
    if (!unsaved || !mayEdit())
        return true;
    const QString name = edited.name.isEmpty() ? QStringLiteral("без имени") : edited.name;
    if (!ask(QStringLiteral("Рецептура «%1» изменена. Сохранить изменения?").arg(name)))
        return true;
    saveFormula();
    return !unsaved;
}

void FormulaWindow::showComponents()
{
    QTableWidget *table = form->componentTable;
    table->setRowCount(int(edited.components.size()));
    for (int row = 0; row < edited.components.size(); ++row) {
        const FormulaComponent &component = edited.components.at(row);
        const QString cells[ColumnCount] = {
            component.product,
            doserText(component.doser),
            QString::number(component.share, 'f', ShareDecimals),
            edited.baseSize > 0
                ? weightText(component.share * edited.baseSize / 100, component.doser)
                : QString(),
            weightText(component.plusTolerance, component.doser),
            weightText(component.minusTolerance, component.doser),
            QString::number(component.order),
        };
        for (int column = 0; column < ColumnCount; ++column)
            table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    if (selectedComponent >= 0 && selectedComponent < table->rowCount())
        table->selectRow(selectedComponent);
    else
        table->clearSelection();
    showShareSum();
}

void FormulaWindow::showShareSum()
{
    double sum = 0;
    for (const FormulaComponent &component : edited.components)
        sum += component.share;
    const bool whole = std::abs(sum - 100) <= FormulaPlan::ShareSlack;
    form->shareSumLabel->setText(
        whole ? QStringLiteral("Сумма долей: %1 %").arg(QString::number(sum, 'f', ShareDecimals))
              : QStringLiteral("Сумма долей: %1 % — нужно 100 %")
                    .arg(QString::number(sum, 'f', ShareDecimals)));
    form->shareSumLabel->setStyleSheet(whole ? QString() : QStringLiteral("color: #c00000;"));
}

bool FormulaWindow::mayEdit() const
{
    return access.allows(AccessLevel::Technologist);
}

void FormulaWindow::showAccess()
{
    const bool editable = mayEdit();
    const QList<QWidget *> controls {
        form->nameField,
        form->baseSizeField,
        form->largestBatchField,
        form->lotPatternField,
        form->keepRatioBox,
        form->productBox,
        form->doserBox,
        form->shareField,
        form->byWeightBox,
        form->plusField,
        form->minusField,
        form->orderField,
        form->addComponentButton,
        form->changeComponentButton,
        form->removeComponentButton,
        form->newButton,
        form->saveButton,
        form->deleteButton,
    };
    for (QWidget *control : controls)
        control->setEnabled(editable);
    form->levelLabel->setText(
        editable ? QString()
                 : QStringLiteral("Рецептуры меняет уровень «%1» или выше; сейчас уровень «%2». "
                                  "Смотреть их может каждый.")
                       .arg(accessLevelCaption(AccessLevel::Technologist),
                            accessLevelCaption(access.level())));
    form->levelLabel->setVisible(!editable);
}

void FormulaWindow::formulaClicked(QListWidgetItem *item)
{
    if (!item)
        return;
    if (!editsSettled()) {
        fillFormulaList(storedName);
        return;
    }
    if (const std::optional<Formula> stored = store.loadByName(item->text()))
        showFormula(*stored);
    else
        // Removed meanwhile through another connection, or the file cannot be read now.
        fillFormulaList(storedName);
}

void FormulaWindow::componentClicked(int row)
{
    if (row < 0 || row >= edited.components.size())
        return;
    selectedComponent = row;
    const FormulaComponent &component = edited.components.at(row);
    form->productBox->setCurrentIndex(form->productBox->findText(component.product));
    form->doserBox->setCurrentIndex(form->doserBox->findData(component.doser));
    {
        // The share as stored; the weight mode starts again from it.
        const QSignalBlocker quiet(form->byWeightBox);
        form->byWeightBox->setChecked(false);
        form->shareLabel->setText(QStringLiteral("Доля, %"));
    }
    form->shareField->setText(numberText(component.share));
    form->plusField->setText(numberText(component.plusTolerance));
    form->minusField->setText(numberText(component.minusTolerance));
    form->orderField->setText(QString::number(component.order));
}

void FormulaWindow::newFormula()
{
    Formula fresh;
    showFormula(fresh);
    form->formulaList->clearSelection();
    form->shareField->clear();
    form->plusField->setText(numberText(0));
    form->minusField->setText(numberText(0));
    form->orderField->setText(QString::number(1));
}

void FormulaWindow::saveFormula()
{
    if (!mayEdit())
        return;
    const QString refusal = FormulaPlan::refusal(edited, line, products);
    if (!refusal.isEmpty()) {
        warn(refusal);
        return;
    }
    // A new name that another formula has would replace that one.
    const qint64 sameName = store.idOf(edited.name);
    if (sameName != 0 && sameName != edited.id
        && !ask(QStringLiteral("Рецептура «%1» уже есть. Заменить её?").arg(edited.name)))
        return;
    qint64 id = 0;
    const WriteResult saved = store.save(edited, &id);
    if (!saved) {
        warn(QStringLiteral("Рецептура не сохранена: %1").arg(saved.reason()));
        return;
    }
    const QString before = storedName;
    edited.id = id;
    storedName = edited.name;
    unsaved = false;
    fillFormulaList(storedName);
    emit formulaChanged(before, storedName);
}

void FormulaWindow::deleteFormula()
{
    if (!mayEdit() || edited.id == 0)
        return;
    if (!ask(QStringLiteral("Удалить рецептуру «%1»?").arg(storedName)))
        return;
    const WriteResult removed = store.remove(edited.id);
    if (!removed) {
        warn(QStringLiteral("Рецептура не удалена: %1").arg(removed.reason()));
        return;
    }
    const QString name = storedName;
    newFormula();
    fillFormulaList(QString());
    emit formulaChanged(name, QString());
}

std::optional<FormulaComponent> FormulaWindow::editorComponent()
{
    FormulaComponent component;
    component.product = form->productBox->currentText();
    if (component.product.isEmpty()) {
        warn(QStringLiteral("Выберите продукт компонента."));
        return std::nullopt;
    }
    if (form->doserBox->currentIndex() < 0) {
        warn(QStringLiteral("Выберите дозатор компонента."));
        return std::nullopt;
    }
    component.doser = form->doserBox->currentData().toInt();
    double amount = 0;
    if (!readNumber(form->shareField->text(), amount)) {
        warn(form->byWeightBox->isChecked() ? QStringLiteral("Введите вес компонента.")
                                            : QStringLiteral("Введите долю компонента."));
        return std::nullopt;
    }
    if (form->byWeightBox->isChecked()) {
        if (!(edited.baseSize > 0)) {
            warn(QStringLiteral("Сначала задайте базовый размер: вес пересчитывается в долю от "
                                "него."));
            return std::nullopt;
        }
        amount = FormulaPlan::shareOfWeight(amount, edited.baseSize);
    }
    component.share = amount;
    readNumber(form->plusField->text(), component.plusTolerance);
    readNumber(form->minusField->text(), component.minusTolerance);
    component.order = form->orderField->text().toInt();
    if (component.order < 1)
        component.order = 1;
    return component;
}

void FormulaWindow::addComponent()
{
    if (!mayEdit())
        return;
    const std::optional<FormulaComponent> component = editorComponent();
    if (!component)
        return;
    edited.components.append(*component);
    unsaved = true;
    selectedComponent = int(edited.components.size()) - 1;
    showComponents();
}

void FormulaWindow::changeComponent()
{
    if (!mayEdit() || selectedComponent < 0 || selectedComponent >= edited.components.size())
        return;
    const std::optional<FormulaComponent> component = editorComponent();
    if (!component)
        return;
    edited.components[selectedComponent] = *component;
    unsaved = true;
    showComponents();
}

void FormulaWindow::removeComponent()
{
    if (!mayEdit() || selectedComponent < 0 || selectedComponent >= edited.components.size())
        return;
    edited.components.removeAt(selectedComponent);
    unsaved = true;
    selectedComponent = -1;
    showComponents();
}

void FormulaWindow::weightModeToggled(bool byWeight)
{
    form->shareLabel->setText(byWeight ? QStringLiteral("Вес") : QStringLiteral("Доля, %"));
    // The value shown follows the mode, when there is a base to convert by.
    double amount = 0;
    if (!(edited.baseSize > 0) || !readNumber(form->shareField->text(), amount))
        return;
    form->shareField->setText(
        numberText(byWeight ? amount * edited.baseSize / 100
                            : FormulaPlan::shareOfWeight(amount, edited.baseSize)));
}

void FormulaWindow::takeNumber(LineEditEmbedded *field, void (FormulaWindow::*taken)(double))
{
    connect(field, &LineEditEmbedded::textEdited, this, [this, field, taken](const QString &text) {
        double value = 0;
        if (!readNumber(text, value))
            return;
        field->setText(numberText(value));
        (this->*taken)(value);
    });
}

void FormulaWindow::takeText(LineEditEmbedded *field, void (FormulaWindow::*taken)(const QString &))
{
    connect(field, &LineEditEmbedded::textEdited, this, [this, field, taken](const QString &text) {
        field->setText(text);
        (this->*taken)(text);
    });
}

void FormulaWindow::nameEntered(const QString &name)
{
    edited.name = name.trimmed();
    unsaved = true;
    form->nameField->setText(edited.name);
}

void FormulaWindow::lotPatternEntered(const QString &pattern)
{
    edited.lotPattern = pattern;
    unsaved = true;
}

void FormulaWindow::baseSizeEntered(double size)
{
    edited.baseSize = size;
    unsaved = true;
    showComponents();
}

void FormulaWindow::largestBatchEntered(double size)
{
    edited.largestBatch = size;
    unsaved = true;
}

void FormulaWindow::warn(const QString &text)
{
    warningBox->setText(text);
    prompts.runBox(warningBox);
}

bool FormulaWindow::ask(const QString &text)
{
    questionBox->setText(text);
    return prompts.runBox(questionBox) == yesButton;
}

QString FormulaWindow::doserText(int doser) const
{
    const QString name = FormulaPlan::doserName(doser, line);
    const QString plain = QStringLiteral("Дозатор %1").arg(doser);
    return name == plain ? name : QStringLiteral("%1 (%2)").arg(name, QString::number(doser));
}

QString FormulaWindow::weightText(double weight, int doser) const
{
    for (const LineCapacity &capacity : line) {
        if (capacity.doser == doser)
            return QString::number(weight, 'f', capacity.scale);
    }
    return numberText(weight);
}

#include "moc_formulawindow.cpp"
