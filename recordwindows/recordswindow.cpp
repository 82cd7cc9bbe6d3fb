#include "recordswindow.h"

#include <QAbstractButton>
#include <QEvent>

RecordsWindow::RecordsWindow(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint)
{
    setModal(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_DeleteOnClose, false);
    installEventFilter(this);
}

void RecordsWindow::finishForm(QAbstractButton *closeButton)
{
    // Never smaller than the layout needs: the touch style may have raised the buttons.
    setFixedSize(size().expandedTo(minimumSizeHint()));
    connect(closeButton, &QAbstractButton::clicked, this, &RecordsWindow::closeClicked);
}

bool RecordsWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this && event->type() == QEvent::Hide) {
        emit windowHided();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

#include "moc_recordswindow.cpp"
