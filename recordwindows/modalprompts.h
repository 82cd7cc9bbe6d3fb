#ifndef MODALPROMPTS_H
#define MODALPROMPTS_H

#include <QString>

#include <functional>
#include <optional>

class QAbstractButton;
class QMessageBox;
class QWidget;

// The modal questions a window puts to the operator. By default they run Qt's dialogs; a test
// replaces them, so nothing waits for a human.
class ModalPrompts
{
public:
    using SaveFileName =
        std::function<QString(QWidget *parent, const QString &caption, const QString &filter)>;
    // The same with a file name offered to the operator.
    using SaveFileAs = std::function<QString(QWidget *parent, const QString &caption,
                                             const QString &suggestedName, const QString &filter)>;
    // Runs the box and returns the button clicked while it ran (nullptr when it was closed or
    // hidden without one).
    using RunBox = std::function<QAbstractButton *(QMessageBox *box)>;

    // Asks for a PIN on the numeric on-screen keyboard, shown as dots; nothing when the operator
    // gave up (Esc).
    using EnterPin = std::function<std::optional<QString>(QWidget *parent, const QString &title)>;

    static QString standardSaveFileName(QWidget *parent, const QString &caption,
                                        const QString &filter);
    static QString standardSaveFileAs(QWidget *parent, const QString &caption,
                                      const QString &suggestedName, const QString &filter);
    static QAbstractButton *standardRunBox(QMessageBox *box);
    static std::optional<QString> standardEnterPin(QWidget *parent, const QString &title);

    SaveFileName saveFileName = standardSaveFileName;
    SaveFileAs saveFileAs = standardSaveFileAs;
    RunBox runBox = standardRunBox;
    EnterPin enterPin = standardEnterPin;
};

#endif // MODALPROMPTS_H
