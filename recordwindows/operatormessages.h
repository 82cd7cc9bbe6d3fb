#ifndef OPERATORMESSAGES_H
#define OPERATORMESSAGES_H

class QAbstractButton;
class QMessageBox;
class QWidget;

// The console's two message boxes, both titled "Сообщение", rich text in the window's font,
// owned by the window.
namespace OperatorMessages {

// "Да" and "Нет", "Нет" the default; only the button returned through yes counts as consent.
QMessageBox *makeQuestionBox(QWidget *window, QAbstractButton **yes);
// One "Ok" button.
QMessageBox *makeWarningBox(QWidget *window);

} // namespace OperatorMessages

#endif // OPERATORMESSAGES_H
