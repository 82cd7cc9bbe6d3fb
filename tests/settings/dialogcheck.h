#ifndef DIALOGCHECK_H
#define DIALOGCHECK_H

#include <QString>

class QImage;
class QWidget;

// Checks shared by the dialog tests: how a shown dialog looks and how it is laid out.
namespace DialogCheck {

// Gives the application the console's look: its touch style over Fusion, 8-point application font.
void useConsoleLook();
// Writes a picture of the shown widget to $K310_TEST_OUTPUT/<name>.png; returns the path,
// or an empty string when it could not be written.
QString saveScreenshot(QWidget *widget, const QString &name);
// The same for a picture drawn without a widget (a report's page).
QString saveImage(const QImage &image, const QString &name);
// Names the first visible widget of the form that lies outside the dialog, is smaller than its
// contents need or overlaps another; empty when none does.
QString layoutFault(QWidget *dialog);

} // namespace DialogCheck

#endif // DIALOGCHECK_H
