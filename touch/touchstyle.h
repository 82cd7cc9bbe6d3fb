#ifndef TOUCHSTYLE_H
#define TOUCHSTYLE_H

#include <QProxyStyle>

// The console's style: Fusion, with everything a finger touches at least a finger wide and high
// on its screen, message boxes and file dialogs included: push buttons; check boxes and radio
// buttons, hit anywhere on their row; combo boxes and the rows of their lists; the rows of list,
// tree and table views and their scroll bars. Item views and text browsers also scroll by a drag
// of the finger. The on-screen keyboard keeps its own key sizes, which are larger.
class TouchStyle : public QProxyStyle
{
    Q_OBJECT

public:
    TouchStyle();

    // Makes a new touch style the application's style.
    static void install();

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override;
    QRect subElementRect(SubElement element, const QStyleOption *option,
                         const QWidget *widget) const override;
    void polish(QWidget *widget) override;
    void unpolish(QWidget *widget) override;
    using QProxyStyle::polish;
    using QProxyStyle::unpolish;
};

#endif // TOUCHSTYLE_H
