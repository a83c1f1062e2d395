#pragma once

// Quits the application at the first expose of a window and prints how long it took since the driver spawned
// the process (VELMORA_BENCH_SPAWN_NS, CLOCK_MONOTONIC nanoseconds).

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <ctime>

class FirstExposeWatch : public QObject
{
public:
    void watch(QWidget *window)
    {
        m_window = window;
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_done && event->type() == QEvent::Expose && m_window && watched == static_cast<QObject *>(m_window->windowHandle())) {
            m_done = true;
            report();
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    static void report()
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long nowNs = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
        const char *spawn = std::getenv("VELMORA_BENCH_SPAWN_NS");
        const long long spawnNs = spawn ? std::atoll(spawn) : nowNs;
        std::printf("shown_us %lld\n", (nowNs - spawnNs) / 1000);
        std::fflush(stdout);
    }

    QWidget *m_window = nullptr;
    bool m_done = false;
};
