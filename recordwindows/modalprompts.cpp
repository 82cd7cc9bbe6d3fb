#include "modalprompts.h"

#include <QAbstractButton>
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
    // The box remembers the button of an earlier question; only a click on this one counts.
    QAbstractButton *clicked = nullptr;
    const QMetaObject::Connection watch =
        QObject::connect(box, &QMessageBox::buttonClicked, box,
                         [&clicked](QAbstractButton *button) { clicked = button; });
    box->exec();
    QObject::disconnect(watch);
    return clicked;
}
