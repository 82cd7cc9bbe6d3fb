#ifndef LINEOVERVIEW_H
#define LINEOVERVIEW_H

#include "processimage.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QStringList>
#include <QWidget>

// Every doser of the line in one strip, a tile per position: its address and name, the product
// of its task, its state, the net weight and how far the batch has come. A touch on a tile
// selects that doser; the window keeps which one is selected and tells the strip.
class LineOverview : public QWidget
{
    Q_OBJECT

public:
    explicit LineOverview(const ProcessImage *image, QWidget *parent = nullptr);

    // Short names by position; an empty or missing one shows as "Дозатор <address>".
    void setNames(const QStringList &names);
    // The highlighted tile; -1 for none.
    void setSelected(int position);
    // Takes the image's doser count again after the window replaced its dosers.
    void rebuild();
    QRect tileRect(int position) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void selected(int position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The texts of a tile, made when its doser changes so that painting only draws.
    struct Tile
    {
        QString title;
        QString product;
        QString state;
        QColor stateColour;
        QString weight;
        QString progress;
        qreal share = 0;
    };

    void refresh(int position);
    void drawTile(QPainter &painter, int position) const;
    int tileAt(const QPoint &point) const;
    int tileHeight() const;
    int tileMinimumWidth() const;

    const ProcessImage *image;
    QStringList names;
    QList<Tile> tiles;
    QFont bold;
    int selectedTile = -1;
    int pressed = -1;
};

#endif // LINEOVERVIEW_H
