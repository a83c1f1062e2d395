#include "fakeflat.h"

#include "velmora/flat.h"

#include <QCoreApplication>
#include <QHash>
#include <QQueue>

#include <functional>

namespace {

struct FakeState
{
    QList<fakeflat::Call> calls;
    QHash<QString, QQueue<unsigned int>> statuses;
    bool connected = false;
    bool reportsConnection = true;
    std::string version = "fake 1.0";
    int liveInstances = 0;
    std::string connectedPort;
    velmora::BoxState boxState;
    std::function<void(const std::string &)> lostHandler;
};

FakeState &state()
{
    static FakeState s;
    return s;
}

unsigned int record(const QString &op, const QVariantList &args = {})
{
    state().calls.append({op, args});
    auto &queue = state().statuses[op];
    return queue.isEmpty() ? 0u : queue.dequeue();
}

} // namespace

namespace fakeflat {

void reset()
{
    const int live = state().liveInstances;
    auto handler = std::move(state().lostHandler); // belongs to a live object
    state() = FakeState();
    state().liveInstances = live;
    state().lostHandler = std::move(handler);
}

QList<Call> calls() { return state().calls; }

QStringList callNames()
{
    QStringList names;
    for (const Call &call : state().calls)
        names.append(call.op);
    return names;
}

QList<Call> callsOf(const QString &op)
{
    QList<Call> selected;
    for (const Call &call : state().calls)
        if (call.op == op)
            selected.append(call);
    return selected;
}

void clearCalls() { state().calls.clear(); }

void queueStatus(const QString &op, unsigned int status) { state().statuses[op].enqueue(status); }

void queueStatuses(const QString &op, const QList<unsigned int> &statuses)
{
    for (unsigned int status : statuses)
        queueStatus(op, status);
}

void setConnected(bool connected) { state().connected = connected; }
bool connected() { return state().connected; }
void setReportsConnection(bool reports) { state().reportsConnection = reports; }
void setVersion(const std::string &version) { state().version = version; }
void setBoxState(bool lampOn, unsigned level) { state().boxState = {lampOn, level}; }
int liveInstances() { return state().liveInstances; }

void loseBox()
{
    if (!state().connected)
        return;
    state().connected = false;
    const std::string port = state().connectedPort;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [port] {
            if (const auto handler = state().lostHandler)
                handler(port);
        },
        Qt::QueuedConnection);
}

} // namespace fakeflat

namespace velmora {

struct Flat::Impl
{
};

Flat::Flat() : d(new Impl) { ++state().liveInstances; }

Flat::~Flat()
{
    --state().liveInstances;
    state().lostHandler = nullptr;
    delete d;
}

unsigned int Flat::connect(const char *port, const bool &flag)
{
    const unsigned int status = record(QStringLiteral("connect"), {QString::fromUtf8(port), flag});
    if (status == Ok) {
        state().connected = true;
        state().connectedPort = port;
    }
    return status;
}

unsigned int Flat::connect(const char *port, const bool &flag, Identity &identity)
{
    const unsigned int status = connect(port, flag);
    if (status == Ok)
        identity = Identity{19, "fake", "LF", "0"};
    return status;
}

unsigned int Flat::readState(BoxState &boxState)
{
    const unsigned int status = record(QStringLiteral("readState"));
    if (status == Ok)
        boxState = state().boxState;
    return status;
}

unsigned int Flat::disconnect()
{
    const unsigned int status = record(QStringLiteral("disconnect"));
    if (status == Ok)
        state().connected = false;
    return status;
}

unsigned int Flat::isFlatConnected(bool &connected)
{
    const unsigned int status = record(QStringLiteral("isFlatConnected"));
    if (state().reportsConnection)
        connected = state().connected;
    return status;
}

unsigned int Flat::turnOn() { return record(QStringLiteral("turnOn")); }
unsigned int Flat::turnOff() { return record(QStringLiteral("turnOff")); }

unsigned int Flat::setBrightness(const unsigned &level)
{
    return record(QStringLiteral("setBrightness"), {level});
}

void Flat::setLostHandler(std::function<void(const std::string &port)> handler)
{
    state().lostHandler = std::move(handler);
}

unsigned int Flat::getAPIversion(std::string &version)
{
    const unsigned int status = record(QStringLiteral("getAPIversion"));
    version = state().version;
    return status;
}

} // namespace velmora
