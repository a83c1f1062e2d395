#include "panellink.h"

#include "loopmailbox.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <future>

namespace {

constexpr int calibratorOff = 1;
constexpr int calibratorNotReady = 2;
constexpr int calibratorReady = 3;
constexpr int notConnectedError = 0x407;
// The driver follows what the window and other clients do within this.
constexpr int pollPeriodMs = 500;
// While the panel carries a command out (its lamp switch pauses 200 ms after turning on) it is asked this often.
constexpr int settlePollMs = 10;
constexpr int settleLimitMs = 10000;
constexpr int openLimitMs = 35000;

LampState lampOf(const CalibratorReading &reading)
{
    return {reading.calibratorState == calibratorReady, unsigned(reading.brightness)};
}

std::string text(const QString &string)
{
    return string.toStdString();
}

std::string describe(const CalibratorReading &reading)
{
    switch (reading.calibratorState) {
    case calibratorOff: return "the panel reports the lamp off";
    case calibratorReady: return "the panel reports the lamp on at " + std::to_string(reading.brightness);
    case calibratorNotReady: return "the panel did not finish the command in time";
    default: return "the panel reports the lamp in error";
    }
}

} // namespace

PanelLink::PanelLink(const std::string &host, int port, LoopMailbox &mailbox, BoxLinkEvents &events)
    : where(host + ":" + std::to_string(port))
    , mailbox(mailbox)
    , events(events)
    , client(std::make_unique<AlpacaClient>(QString::fromStdString(host), port,
                                            QRandomGenerator::global()->bounded(1u, 0x7fffffffu)))
{
}

PanelLink::~PanelLink()
{
    *alive = false;
    close();
}

BoxIdentity PanelLink::panelIdentity() const
{
    return {"through the panel", std::string(), "Alpaca CoverCalibrator at " + where};
}

void PanelLink::toLoop(std::function<void()> job)
{
    std::weak_ptr<bool> token = alive;
    mailbox.post([token, job = std::move(job)] {
        if (auto living = token.lock(); living && *living)
            job();
    });
}

bool PanelLink::open(LampState &state, BoxIdentity &identity, std::string &error)
{
    struct Outcome
    {
        bool ok = false;
        std::string error;
        CalibratorReading reading;
    };
    auto promise = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> outcome = promise->get_future();
    client->run([this, promise] {
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("Connected"), QStringLiteral("true"));
        client->put(QStringLiteral("connected"), form, [this, promise](const AlpacaReply &connected) {
            if (!connected.succeeded())
                return promise->set_value({false, "the panel did not connect the box: " + text(connected.errorMessage), {}});
            client->get(QStringLiteral("devicestate"), [promise](const AlpacaReply &reply) {
                const CalibratorReading reading = readDeviceState(reply);
                promise->set_value({reading.valid, reading.valid ? std::string()
                                                                 : "the panel did not report the lamp: " + text(reply.errorMessage),
                                    reading});
            });
        });
    });
    if (outcome.wait_for(std::chrono::milliseconds(openLimitMs)) != std::future_status::ready) {
        error = "no answer from the panel at " + where;
        return false;
    }
    const Outcome result = outcome.get();
    if (!result.ok) {
        error = result.error + " (panel at " + where + ")";
        return false;
    }
    last = lampOf(result.reading);
    state = last;
    identity = panelIdentity();
    client->run([this, reading = result.reading] {
        seen = reading;
        schedulePoll();
    });
    return true;
}

void PanelLink::close()
{
    if (!client)
        return;
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> done = finished->get_future();
    client->run([this, finished] {
        closing = true;
        commands.clear();
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("Connected"), QStringLiteral("false"));
        client->put(QStringLiteral("connected"), form, [finished](const AlpacaReply &) { finished->set_value(); });
    });
    // The panel is told that this client is done; a panel that does not answer is not waited for long.
    done.wait_for(std::chrono::milliseconds(500));
    client.reset();
}

void PanelLink::setLamp(bool on, unsigned level, Done done)
{
    client->run([this, command = Command{on, level, std::move(done)}]() mutable { queueCommand(std::move(command)); });
}

// With the lamp off the level is kept for the next switch-on: an Alpaca calibrator sets its level only by
// lighting.
void PanelLink::setLevel(unsigned level, Done done)
{
    if (!last.on) {
        last.level = level;
        done(true, std::string(), last);
        return;
    }
    setLamp(true, level, std::move(done));
}

void PanelLink::schedulePoll()
{
    client->run([this] { poll(); }, pollPeriodMs);
}

void PanelLink::queueCommand(Command command)
{
    commands.push_back(std::move(command));
    if (!commandRunning)
        runNextCommand();
}

void PanelLink::runNextCommand()
{
    commandRunning = !commands.empty();
    if (!commandRunning)
        return;
    Command command = std::move(commands.front());
    commands.pop_front();
    QUrlQuery form;
    if (command.on)
        form.addQueryItem(QStringLiteral("Brightness"), QString::number(command.level));
    const QString member = command.on ? QStringLiteral("calibratoron") : QStringLiteral("calibratoroff");
    client->put(member, form, [this, command](const AlpacaReply &reply) {
        if (!reply.succeeded())
            return finishCommand(command, false, "the panel refused: " + text(reply.errorMessage), seen);
        QElapsedTimer clock;
        clock.start();
        awaitSettled(command, clock.msecsSinceReference() + settleLimitMs);
    });
}

// The panel answers a command at once and carries it out on its window's thread; its state says when that is done.
void PanelLink::awaitSettled(Command command, qint64 deadlineMs)
{
    if (closing)
        return;
    client->get(QStringLiteral("devicestate"), [this, command, deadlineMs](const AlpacaReply &reply) {
        const CalibratorReading reading = readDeviceState(reply);
        if (!reading.valid)
            return finishCommand(command, false, "the panel did not report the lamp: " + text(reply.errorMessage), seen);
        QElapsedTimer clock;
        clock.start();
        if (reading.calibratorState == calibratorNotReady && clock.msecsSinceReference() < deadlineMs) {
            client->run([this, command, deadlineMs] { awaitSettled(command, deadlineMs); }, settlePollMs);
            return;
        }
        seen = reading;
        const bool ok = command.on ? reading.calibratorState == calibratorReady && unsigned(reading.brightness) == command.level
                                   : reading.calibratorState == calibratorOff;
        finishCommand(command, ok, ok ? std::string() : describe(reading), reading);
    });
}

void PanelLink::finishCommand(const Command &command, bool ok, const std::string &error,
                              const CalibratorReading &reading)
{
    if (closing)
        return;
    const LampState state = lampOf(reading);
    toLoop([this, done = command.done, ok, error, state] {
        last = state;
        done(ok, error, state);
    });
    runNextCommand();
}

void PanelLink::poll()
{
    if (closing)
        return;
    if (!commandRunning)
        client->get(QStringLiteral("devicestate"), [this](const AlpacaReply &reply) { pollAnswered(reply); });
    schedulePoll();
}

void PanelLink::pollAnswered(const AlpacaReply &reply)
{
    const CalibratorReading reading = readDeviceState(reply);
    if (reading.valid) {
        if (reading.calibratorState == calibratorNotReady)
            return; // another client's command is under way
        const bool changed = reading.calibratorState != seen.calibratorState || reading.brightness != seen.brightness;
        const bool wasLost = lostSeen;
        lostSeen = false;
        seen = reading;
        const LampState state = lampOf(reading);
        if (wasLost)
            toLoop([this, state] { last = state; events.boxBack(state, panelIdentity(), "The panel at " + where + " has the flat box again."); });
        else if (changed)
            toLoop([this, state] { last = state; events.lampChangedElsewhere(state); });
        return;
    }
    // A panel that started again no longer knows this client; its box is there, so connecting searches nothing.
    if (reply.reached && reply.errorNumber == notConnectedError
        && reply.errorMessage.contains(QLatin1String("client is not connected"))) {
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("Connected"), QStringLiteral("true"));
        client->put(QStringLiteral("connected"), form, [](const AlpacaReply &) {});
        return;
    }
    markLost(reply.errorMessage);
}

void PanelLink::markLost(const QString &why)
{
    if (lostSeen)
        return;
    lostSeen = true;
    toLoop([this, message = "Flat box lost: the panel at " + where + " reports " + text(why)
                            + "; waiting for it to come back."] { events.boxLost(message); });
}
