#ifndef TOUCHSTYLE_H
#define TOUCHSTYLE_H

#include <QProxyStyle>

// The console's style: Fusion, with every push button at least a finger wide and high on its
// screen, message boxes and file dialogs included. The on-screen keyboard keeps its own key
// sizes, which are larger.
class TouchStyle : public QProxyStyle
{
    Q_OBJECT

public:
    TouchStyle();

    // Makes a new touch style the application's style.
    static void install();

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override;
    void polish(QWidget *widget) override;
    using QProxyStyle::polish;
};

#endif // TOUCHSTYLE_H
