#include "scriptedoperator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

ModalPrompts ScriptedOperator::prompts()
{
    ModalPrompts prompts;
    prompts.runBox = [this](QMessageBox *box) -> QAbstractButton * {
        asked << box->windowTitle() + QStringLiteral(" | ") + box->text();
        const QList<QAbstractButton *> buttons = box->buttons();
        for (QAbstractButton *button : buttons) {
            if (button->text() == answer)
                return button;
        }
        return nullptr;
    };
    return prompts;
}

void answerNextModalBox(const QString &buttonText, int tries)
{
    constexpr int RetryMilliseconds = 10;
    QTimer::singleShot(RetryMilliseconds, qApp, [buttonText, tries] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box && tries > 0)
            answerNextModalBox(buttonText, tries - 1);
        if (!box)
            return;
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == buttonText)
                button->click();
        }
    });
}
