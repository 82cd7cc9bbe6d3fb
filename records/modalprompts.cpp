#include "modalprompts.h"

#include <QFileDialog>
#include <QMessageBox>

QString ModalPrompts::standardSaveFileName(QWidget *parent, const QString &caption,
                                           const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

QAbstractButton *ModalPrompts::standardRunBox(QMessageBox *box)
{
    box->exec();
    return box->clickedButton();
}
