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
    // Asks for a line of text on the full on-screen keyboard, offered as `text`; nothing when
    // the operator gave up (Esc).
    using EnterText = std::function<std::optional<QString>(QWidget *parent, const QString &title,
                                                           const QString &text)>;

    static QString standardSaveFileName(QWidget *parent, const QString &caption,
                                        const QString &filter);
    static QString standardSaveFileAs(QWidget *parent, const QString &caption,
                                      const QString &suggestedName, const QString &filter);
    static QAbstractButton *standardRunBox(QMessageBox *box);
    static std::optional<QString> standardEnterPin(QWidget *parent, const QString &title);
    static std::optional<QString> standardEnterText(QWidget *parent, const QString &title,
                                                    const QString &text);

    SaveFileName saveFileName = standardSaveFileName;
    SaveFileAs saveFileAs = standardSaveFileAs;
    RunBox runBox = standardRunBox;
    EnterPin enterPin = standardEnterPin;
    EnterText enterText = standardEnterText;
};

#endif // MODALPROMPTS_H
