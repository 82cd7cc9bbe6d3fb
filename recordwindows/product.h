#ifndef PRODUCT_H
#define PRODUCT_H

#include "database.h"
#include "modalprompts.h"
#include "recordswindow.h"
#include "ui_productForm.h"

class QMessageBox;
class QAbstractButton;
class QTableWidgetItem;

// The product list: shows the product types, adds one by name and deletes the one last clicked
// after the operator confirms.
class Product : public RecordsWindow, public Ui::productForm
{
    Q_OBJECT

public:
    explicit Product(const QString &databaseFile = QString::fromLatin1(DatabaseFileName),
                     QWidget *parent = nullptr);
    ~Product() override;

    void fillTable();
    void setPrompts(const ModalPrompts &replacement) { prompts = replacement; }

signals:
    // A product added (before empty) or deleted (after empty), once data.db holds it.
    void productChanged(const QString &before, const QString &after);

private slots:
    void productTableClicked(QTableWidgetItem *item);
    void deleteProduct();
    void addProduct();

private:
    Database database;
    QMessageBox *questionBox = nullptr;
    QAbstractButton *yesButton = nullptr;
    // The idProduct of the row last clicked; empty when none.
    QString selectedProduct;
    QString selectedName;
    ModalPrompts prompts;
};

#endif // PRODUCT_H
