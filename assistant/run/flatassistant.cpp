#include "flatassistant.h"

struct FlatAssistant::Run
{
    AssistantOptions options;
    State state = State::Idle;
    QString error;
    QList<FilterResult> results;
    flatsearch::ResponseCurve curve;
};

QString FilterResult::reportLine() const
{
    if (reached)
        return QStringLiteral("%1: level %2, exposure %3 s, median %4 of full scale, %5 frames")
            .arg(filter)
            .arg(level)
            .arg(exposure)
            .arg(QString::number(figure, 'f', 3))
            .arg(frames);
    return QStringLiteral("%1: not reached: %2 of full scale at level %3 and %4 s")
        .arg(filter, QString::number(figure, 'f', 2))
        .arg(level)
        .arg(exposure);
}

FlatAssistant::FlatAssistant(QObject *parent) : QObject(parent), run(std::make_unique<Run>()) {}
FlatAssistant::~FlatAssistant() = default;
void FlatAssistant::setOptions(const AssistantOptions &options) { run->options = options; }
AssistantOptions FlatAssistant::options() const { return run->options; }
void FlatAssistant::start() {}
void FlatAssistant::stop() {}
FlatAssistant::State FlatAssistant::state() const { return run->state; }
QString FlatAssistant::errorText() const { return run->error; }
QList<FilterResult> FlatAssistant::results() const { return run->results; }
int FlatAssistant::exitCode() const { return 0; }
flatsearch::ResponseCurve FlatAssistant::curve() const { return run->curve; }
bool FlatAssistant::saveResults(const QString &, QString &) const { return true; }

struct IndiDeviceLister::Impl
{
};
IndiDeviceLister::IndiDeviceLister(QObject *parent) : QObject(parent), d(std::make_unique<Impl>()) {}
IndiDeviceLister::~IndiDeviceLister() = default;
void IndiDeviceLister::list(const QString &, int) {}
QStringList IndiDeviceLister::wheelFilters(const QString &) const { return {}; }
