#include "modalprompts.h"

#include <QFileDialog>
#include <QMessageBox>

QString ModalPrompts::standardSaveFileName(QWidget *parent, const QString &caption,
                                           const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

QString ModalPrompts::standardSaveFileAs(QWidget *parent, const QString &caption,
                                         const QString &suggestedName, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, suggestedName, filter);
}

QAbstractButton *ModalPrompts::standardRunBox(QMessageBox *box)
{
    box->exec();
    return box->clickedButton();
}
