#ifndef SCRIPTEDOPERATOR_H
#define SCRIPTEDOPERATOR_H

#include "modalprompts.h"

#include <QStringList>

// Plays the operator at the recipe windows' message boxes: clicks the button showing `answer`
// (none when no button shows it) and keeps every box as "title | text".
class ScriptedOperator
{
public:
    ModalPrompts prompts();

    QString answer = QStringLiteral("Да");
    QStringList asked;
};

// Clicks the button showing that text in the next modal box a widget runs by itself, looking
// for it every 10 ms as often as `tries` says.
void answerNextModalBox(const QString &buttonText, int tries = 200);

#endif // SCRIPTEDOPERATOR_H
