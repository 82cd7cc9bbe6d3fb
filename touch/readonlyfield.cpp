#include "readonlyfield.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFrame>
#include <QToolTip>

namespace {

// QLineEdit's own margins around its text, which no style tells.
constexpr int HorizontalMargin = 2;
constexpr int VerticalMargin = 1;

} // namespace

ReadOnlyField::ReadOnlyField(QWidget *parent)
    : QLineEdit(parent)
{
    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
}

QRect ReadOnlyField::textArea() const
{
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    return style()
        ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
        .marginsRemoved(textMargins())
        .adjusted(HorizontalMargin, VerticalMargin, -HorizontalMargin, -VerticalMargin);
}

QString ReadOnlyField::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, textArea().width());
}

void ReadOnlyField::paintEvent(QPaintEvent *event)
{
    const QString shown = shownText();
    if (shown == text()) {
        QLineEdit::paintEvent(event);
        return;
    }
    // QLineEdit would scroll to its cursor and cut the start off.
    QPainter painter(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    painter.drawText(textArea(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

void ReadOnlyField::mouseReleaseEvent(QMouseEvent *event)
{
    QLineEdit::mouseReleaseEvent(event);
    if (shownText() != text())
        QToolTip::showText(mapToGlobal(QPoint(0, height())), text(), this);
}

#include "moc_readonlyfield.cpp"
