#ifndef REFUSALTALLY_H
#define REFUSALTALLY_H

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>

// Refusals of one kind told at most once a minute: the first at once, those after it counted
// and told together when the minute is over, with the last one's text. A minute with none
// lets the next be told at once again.
class RefusalTally : public QObject
{
    Q_OBJECT

public:
    static constexpr int QuietMs = 60000;

    explicit RefusalTally(int quietMs = QuietMs, QObject *parent = nullptr);
    ~RefusalTally() override;

    void count(int kind, const QString &text);

signals:
    void told(const QString &text);

private:
    struct Kind
    {
        QTimer quiet;
        int notTold = 0;
        QString last;
    };

    void minuteOver(Kind &kind);

    const int quietMs;
    std::map<int, std::unique_ptr<Kind>> kinds;
};

#endif // REFUSALTALLY_H
