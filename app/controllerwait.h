// How the window waits for the box: its thread serves events (and paints) until the controller's outcome comes,
// the way a dialog's exec() does, while the controls that could start another operation are disabled.
#pragma once

#include "eventwait.h"

#include <QEventLoop>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

// Starts an operation whose outcome comes to a callback, and returns that outcome once it has come.
template<class Result>
Result waitFor(const std::function<void(std::function<void(Result)>)> &start,
               QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents)
{
    struct Wait
    {
        QEventLoop loop;
        Result result{};
        bool finished = false;
    };
    auto wait = std::make_shared<Wait>();
    start([wait](Result result) {
        wait->result = result;
        wait->finished = true;
        wait->loop.quit();
    });
    serveEventsUntil(wait->loop, wait->finished, flags);
    return wait->result;
}

// Disables the controls for its lifetime, then gives each back the enabled state it had.
class PausedControls
{
public:
    explicit PausedControls(const QList<QWidget *> &controls)
    {
        for (QWidget *control : controls) {
            paused.append({control, !control->testAttribute(Qt::WA_ForceDisabled)});
            control->setEnabled(false);
        }
    }
    ~PausedControls()
    {
        for (const Paused &control : paused)
            if (control.widget)
                control.widget->setEnabled(control.wasEnabled);
    }
    PausedControls(const PausedControls &) = delete;
    PausedControls &operator=(const PausedControls &) = delete;

private:
    struct Paused
    {
        QPointer<QWidget> widget;
        bool wasEnabled;
    };
    QList<Paused> paused;
};
