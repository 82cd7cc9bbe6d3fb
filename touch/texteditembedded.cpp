#include "texteditembedded.h"

#include "keyboardset.h"
#include "receiptdescription.h"

#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>

namespace {

KeyboardSet &textEditKeyboards()
{
    static KeyboardSet keyboards;
    return keyboards;
}

} // namespace

TextEditEmbedded::TextEditEmbedded(QWidget *parent)
    : TextEditEmbedded(QString(), parent)
{ }

TextEditEmbedded::TextEditEmbedded(const QString &text, QWidget *parent)
    : QTextEdit(parent)
    , descriptionText(QStringLiteral("Ввод"))
    , editorKeyboard(textEditKeyboards().keyboard(Keyboard::FullsizeKeyboard))
{
    // Descriptions are plain text: markup typed by the operator is kept as written.
    setPlainText(text);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &TextEditEmbedded::textEntered, this, &TextEditEmbedded::applyText);
}

TextEditEmbedded::~TextEditEmbedded()
{
    qDebug("~TextEditEmbedded()");
}

void TextEditEmbedded::setDescription(const QString &description)
{
    descriptionText = description;
}

void TextEditEmbedded::acceptKeyboardText(const QString &text)
{
    emit textEntered(text);
}

void TextEditEmbedded::applyText(QString text)
{
    if (text.isEmpty())
        text = ReceiptDescriptionPlaceholder.toString();
    if (text.compare(toPlainText(), Qt::CaseInsensitive) == 0)
        return;
    if (showsPlaceholder()) {
        replaceText(text);
        return;
    }

    QMessageBox question(this);
    question.setFont(font());
    question.setTextFormat(Qt::RichText);
    question.setIcon(QMessageBox::Question);
    QPushButton *no = question.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    QPushButton *yes = question.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    question.setDefaultButton(no);
    question.setWindowTitle(QStringLiteral("Описание рецепта"));
    question.setText(QStringLiteral("Изменить описание рецепта"));
    askQuestion(question);
    if (question.clickedButton() == yes)
        replaceText(text);
}

void TextEditEmbedded::askQuestion(QMessageBox &question)
{
    question.exec();
}

bool TextEditEmbedded::showsPlaceholder() const
{
    return toPlainText().compare(ReceiptDescriptionPlaceholder, Qt::CaseInsensitive) == 0;
}

void TextEditEmbedded::replaceText(const QString &text)
{
    setPlainText(text);
    emit descriptionChanged(text);
}

// The editor never holds the focus or places a cursor: a touch only opens the keyboard.
void TextEditEmbedded::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (QWidget *parent = parentWidget())
        parent->setFocus();
    else
        clearFocus();
    if (!editorKeyboard)
        return;
    const QString initialText = showsPlaceholder() ? QString() : toPlainText();
    editorKeyboard->openForEditor(this, descriptionText, initialText);
}

#include "moc_texteditembedded.cpp"
