#include "dialogcheck.h"

#include "touchstyle.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace DialogCheck {

void useConsoleLook()
{
    TouchStyle::install();
    QFont font = QApplication::font();
    font.setPointSize(8);
    QApplication::setFont(font);
}

QString saveScreenshot(QWidget *widget, const QString &name)
{
    return saveImage(widget->grab().toImage(), name);
}

QString saveImage(const QImage &image, const QString &name)
{
    QString dir = qEnvironmentVariable("K310_TEST_OUTPUT");
    if (dir.isEmpty())
        dir = QDir::currentPath() + QStringLiteral("/test-output");
    if (!QDir().mkpath(dir))
        return QString();
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    return image.save(path) ? path : QString();
}

QString layoutFault(QWidget *dialog)
{
    const QRect area = dialog->rect();
    const QList<QWidget *> widgets = dialog->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *widget : widgets) {
        if (!widget->isVisible() || widget->isWindow())
            continue;
        if (!area.contains(widget->geometry()))
            return widget->objectName() + QStringLiteral(" lies outside the dialog");
        const QSize needed = widget->minimumSizeHint();
        if (widget->width() < needed.width() || widget->height() < needed.height())
            return widget->objectName() + QStringLiteral(" is smaller than its contents");
        for (QWidget *other : widgets) {
            if (other == widget || !other->isVisible() || other->isWindow())
                continue;
            if (widget->geometry().intersects(other->geometry()))
                return widget->objectName() + QStringLiteral(" overlaps ") + other->objectName();
        }
    }
    return QString();
}

} // namespace DialogCheck
