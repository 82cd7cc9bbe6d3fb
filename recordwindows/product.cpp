#include "product.h"

#include "operatormessages.h"

#include <QDebug>
#include <QMessageBox>
#include <QPushButton>

namespace {

const QString LoadStatement = QStringLiteral("SELECT productName, idProduct FROM product;");
const QString DeleteStatement = QStringLiteral("DELETE FROM product WHERE idProduct = %1;");
const QString AddStatement =
    QStringLiteral("INSERT INTO product (idProduct, productName) values (NULL, \"%1\");");

} // namespace

Product::Product(const QString &databaseFile, QWidget *parent)
    : RecordsWindow(parent)
    , database(databaseFile)
{
    setupUi(this);
    finishForm(closeButton);

    questionBox = OperatorMessages::makeQuestionBox(this, &yesButton);

    fillTable();

    // The field only shows what the on-screen keyboard hands back; "Добавить" takes it from there.
    connect(newProductName, &LineEditEmbedded::textEdited, newProductName, &QLineEdit::setText);
    connect(delButton, &QPushButton::clicked, this, &Product::deleteProduct);
    connect(addButton, &QPushButton::clicked, this, &Product::addProduct);
    connect(productTable, &QTableWidget::itemClicked, this, &Product::productTableClicked);
}

Product::~Product()
{
    qDebug("~Product()");
}

void Product::fillTable()
{
    productTable->setColumnCount(1);
    productTable->setRowCount(0);
    productTable->verticalHeader()->hide();
    productTable->setHorizontalHeaderLabels({QStringLiteral("Вид продукта")});
    productTable->resizeColumnsToContents();

    database.execQuery(LoadStatement);
    const QueryResult &products = database.result();
    if (products.rows == 0)
        return;
    productTable->setRowCount(products.rows);
    productTable->setColumnCount(products.columns);
    for (int row = 0; row < products.rows; ++row) {
        for (int column = 0; column < products.columns; ++column)
            productTable->setItem(row, column, new QTableWidgetItem(products.value(row, column)));
    }
    // Column 1 holds the idProduct that deletion needs; the operator sees only the names.
    for (int column = 1; column < products.columns; ++column)
        productTable->hideColumn(column);
    productTable->resizeColumnsToContents();
}

void Product::productTableClicked(QTableWidgetItem *item)
{
    if (!item)
        return;
    const QTableWidgetItem *idCell =
        productTable->item(item->row(), productTable->columnCount() - 1);
    if (!idCell)
        return;
    productTable->resizeColumnsToContents();
    selectedProduct = idCell->text();
    const QTableWidgetItem *nameCell = productTable->item(item->row(), 0);
    selectedName = nameCell ? nameCell->text() : QString();
}

void Product::deleteProduct()
{
    if (selectedProduct.isEmpty())
        return;
    questionBox->setText(QStringLiteral("Удалить выбранный вид продукта?"));
    if (prompts.runBox(questionBox) != yesButton)
        return;
    if (database.execQuery(DeleteStatement, {selectedProduct}))
        emit productChanged(selectedName, QString());
    selectedProduct.clear();
    selectedName.clear();
    fillTable();
}

void Product::addProduct()
{
    const QString name = newProductName->text();
    if (name.isEmpty())
        return;
    if (database.execQuery(AddStatement, {name}))
        emit productChanged(QString(), name);
    fillTable();
}

#include "moc_product.cpp"
