#include "operatormessages.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox *makeBox(QWidget *window, QMessageBox::Icon icon)
{
    auto *box = new QMessageBox(window);
    box->setWindowTitle(QStringLiteral("Сообщение"));
    box->setIcon(icon);
    box->setTextFormat(Qt::RichText);
    box->setFont(window->font());
    return box;
}

} // namespace

QMessageBox *OperatorMessages::makeQuestionBox(QWidget *window, QAbstractButton **yes)
{
    QMessageBox *box = makeBox(window, QMessageBox::Question);
    QPushButton *no = box->addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    *yes = box->addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    box->setDefaultButton(no);
    return box;
}

QMessageBox *OperatorMessages::makeWarningBox(QWidget *window)
{
    QMessageBox *box = makeBox(window, QMessageBox::Warning);
    box->addButton(QStringLiteral("Ok"), QMessageBox::AcceptRole);
    return box;
}
