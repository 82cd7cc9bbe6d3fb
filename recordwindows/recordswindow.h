#ifndef RECORDSWINDOW_H
#define RECORDSWINDOW_H

#include <QDialog>

class QAbstractButton;

// What the windows of the records share: a modal dialog of fixed size, without context menu,
// that every way of closing only hides, announcing it by windowHided(). The console creates
// each once and shows it on demand.
class RecordsWindow : public QDialog
{
    Q_OBJECT

public:
    explicit RecordsWindow(QWidget *parent = nullptr);

signals:
    void closeClicked();
    void windowHided();

protected:
    // Called once the form is built: keeps the size it gave (or the least its layout needs), and
    // reports its close button.
    void finishForm(QAbstractButton *closeButton);
    bool eventFilter(QObject *watched, QEvent *event) override;
};

#endif // RECORDSWINDOW_H
