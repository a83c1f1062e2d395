// The longest time the event loop of this thread went without turning: a 5 ms timer notes every gap between its
// firings. A slot that blocks shows as one long gap; a wait in a local event loop does not.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class StallMeter : public QObject
{
public:
    StallMeter()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, this, [this] {
            const qint64 now = clock.elapsed();
            if (now - last > longest)
                longest = now - last;
            last = now;
        });
    }
    void start()
    {
        longest = 0;
        clock.start();
        last = 0;
        timer.start();
    }
    // The longest gap so far, the gap since the last firing included.
    qint64 longestMs() const { return qMax(longest, clock.elapsed() - last); }
    void stop() { timer.stop(); }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
};
