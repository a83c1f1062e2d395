#include "fakeflat.h"

#include "velmora/flat.h"

#include <QHash>
#include <QQueue>

namespace {

struct FakeState
{
    QList<fakeflat::Call> calls;
    QHash<QString, QQueue<unsigned int>> statuses;
    bool connected = false;
    bool reportsConnection = true;
    std::string version = "fake 1.0";
    int liveInstances = 0;
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
    state() = FakeState();
    state().liveInstances = live;
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
int liveInstances() { return state().liveInstances; }

} // namespace fakeflat

namespace velmora {

struct Flat::Impl
{
};

Flat::Flat() : d(new Impl) { ++state().liveInstances; }

Flat::~Flat()
{
    --state().liveInstances;
    delete d;
}

unsigned int Flat::connect(const char *port, const bool &flag)
{
    const unsigned int status = record(QStringLiteral("connect"), {QString::fromUtf8(port), flag});
    if (status == Ok)
        state().connected = true;
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

unsigned int Flat::getAPIversion(std::string &version)
{
    const unsigned int status = record(QStringLiteral("getAPIversion"));
    version = state().version;
    return status;
}

} // namespace velmora
