#ifndef LINEOVERVIEW_H
#define LINEOVERVIEW_H
// placeholder until the overview lands
#include "processimage.h"
#include <QWidget>
class LineOverview : public QWidget
{
    Q_OBJECT
public:
    explicit LineOverview(const ProcessImage *image, QWidget *parent = nullptr);
    void setNames(const QStringList &) { }
    void setSelected(int) { }
    void rebuild() { }
signals:
    void selected(int position);
};
#endif
