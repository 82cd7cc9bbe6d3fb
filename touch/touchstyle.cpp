#include "touchstyle.h"

#include "keyboard.h"
#include "touchsize.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QScroller>
#include <QStyleOptionMenuItem>
#include <QTableView>
#include <QTextBrowser>

namespace {

int leastSide(const QWidget *widget)
{
    return TouchSize::minimumPixels(widget ? widget->screen() : nullptr);
}

// A minimum or maximum a form gives below the touch size gives way to it. A zero minimum stays,
// so the raised size hint still decides how far a layout may shrink the widget.
void raiseLimits(QWidget *widget, Qt::Orientations sides)
{
    const int least = leastSide(widget);
    const int width = sides & Qt::Horizontal ? least : 0;
    const int height = sides & Qt::Vertical ? least : 0;
    QSize minimum = widget->minimumSize();
    if (minimum.width() > 0)
        minimum.setWidth(qMax(minimum.width(), width));
    if (minimum.height() > 0)
        minimum.setHeight(qMax(minimum.height(), height));
    if (minimum != widget->minimumSize())
        widget->setMinimumSize(minimum);
    const QSize maximum = widget->maximumSize().expandedTo(QSize(width, height));
    if (maximum != widget->maximumSize())
        widget->setMaximumSize(maximum);
}

// Whether the widget is part of a list, table or tree (a scroll bar of one, say). Text areas keep
// desktop scroll bars, which would take their room; a finger drags their text instead.
bool isPartOfItemView(const QWidget *widget)
{
    for (; widget; widget = widget->parentWidget()) {
        if (qobject_cast<const QAbstractItemView *>(widget))
            return true;
        if (qobject_cast<const QAbstractScrollArea *>(widget) || widget->isWindow())
            return false;
    }
    return false;
}

// Rows of a table are its vertical header's sections.
void raiseRows(QHeaderView *rows)
{
    const int least = leastSide(rows);
    if (rows->minimumSectionSize() < least)
        rows->setMinimumSectionSize(least);
    if (rows->defaultSectionSize() < least)
        rows->setDefaultSectionSize(least);
}

} // namespace

TouchStyle::TouchStyle()
    : QProxyStyle(QStringLiteral("Fusion"))
{ }

void TouchStyle::install()
{
    QApplication::setStyle(new TouchStyle);
}

QSize TouchStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                                   const QWidget *widget) const
{
    const QSize contents = QProxyStyle::sizeFromContents(type, option, size, widget);
    const int least = leastSide(widget);
    switch (type) {
    case CT_PushButton:
        return contents.expandedTo(QSize(least, least));
    case CT_MenuItem:
        // Also the rows of a combo box's list, which Fusion draws as a menu.
        if (const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
            item && item->menuItemType == QStyleOptionMenuItem::Separator)
            return contents;
        Q_FALLTHROUGH();
    case CT_CheckBox:
    case CT_RadioButton:
    case CT_ComboBox:
    case CT_ItemViewItem:
        return contents.expandedTo(QSize(0, least));
    default:
        return contents;
    }
}

int TouchStyle::pixelMetric(PixelMetric metric, const QStyleOption *option,
                            const QWidget *widget) const
{
    const int pixels = QProxyStyle::pixelMetric(metric, option, widget);
    if (metric == PM_HeaderDefaultSectionSizeVertical
        || (metric == PM_ScrollBarExtent && isPartOfItemView(widget)))
        return qMax(pixels, leastSide(widget));
    return pixels;
}

QRect TouchStyle::subElementRect(SubElement element, const QStyleOption *option,
                                 const QWidget *widget) const
{
    // A finger finds the box or the circle hard to hit: the whole row is the target.
    if (element == SE_CheckBoxClickRect || element == SE_RadioButtonClickRect)
        return option->rect;
    return QProxyStyle::subElementRect(element, option, widget);
}

void TouchStyle::polish(QWidget *widget)
{
    QProxyStyle::polish(widget);
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        if (!qobject_cast<Keyboard *>(button->window()))
            raiseLimits(button, Qt::Horizontal | Qt::Vertical);
    } else if (qobject_cast<QCheckBox *>(widget) || qobject_cast<QRadioButton *>(widget)
               || qobject_cast<QComboBox *>(widget)) {
        raiseLimits(widget, Qt::Vertical);
    } else if (qobject_cast<QAbstractItemView *>(widget) || qobject_cast<QTextBrowser *>(widget)) {
        // A finger drags the list or the text as on a phone; a mouse still selects.
        QScroller::grabGesture(static_cast<QAbstractScrollArea *>(widget)->viewport(),
                               QScroller::TouchGesture);
        if (auto *table = qobject_cast<QTableView *>(widget))
            raiseRows(table->verticalHeader());
    }
}

void TouchStyle::unpolish(QWidget *widget)
{
    if (qobject_cast<QAbstractItemView *>(widget) || qobject_cast<QTextBrowser *>(widget))
        QScroller::ungrabGesture(static_cast<QAbstractScrollArea *>(widget)->viewport());
    QProxyStyle::unpolish(widget);
}

#include "moc_touchstyle.cpp"
