#ifndef READONLYFIELD_H
#define READONLYFIELD_H

#include <QLineEdit>

// A field that shows a value the operator cannot change. A text too long for it shows its start,
// ended with "…", never a cut-off start; a touch shows the whole text.
class ReadOnlyField : public QLineEdit
{
    Q_OBJECT

public:
    explicit ReadOnlyField(QWidget *parent = nullptr);

    // The text as it is drawn: the whole, or as much of its start as fits with "…".
    QString shownText() const;
    // Where the text is drawn, in the field's coordinates.
    QRect textArea() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

#endif // READONLYFIELD_H
