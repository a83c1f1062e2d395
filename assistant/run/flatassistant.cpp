#include "flatassistant.h"

#include "secondstext.h"

#include "alpacalightsource.h"
#include "flatsequencer.h"
#include "folderframesource.h"
#include "indicamera.h"
#include "indilightbox.h"
#include "indisession.h"
#include "indiwheel.h"
#include "resultsink.h"

// The run's devices and where its results go, made from the options: the sequencer does the rest.
struct FlatAssistant::Run
{
    explicit Run(FlatAssistant *owner);

    FlatAssistant *q;
    AssistantOptions options;
    State state = State::Idle;
    QString error;
    int attempt = 0; // answers of an earlier run's devices are dropped

    std::unique_ptr<IndiSession> indi;
    std::unique_ptr<AlpacaLightSource> alpaca;
    std::unique_ptr<FolderFrameSource> folder;
    std::unique_ptr<FileResultSink> sink;
    FlatSequencer sequencer; // last: it goes first, while the devices it asks are still there

    void enter(State next)
    {
        if (state == next)
            return;
        state = next;
        emit q->stateChanged(next);
    }

    bool running() const { return state != State::Idle && !isFinished(state) && !sequencer.ending(); }

    static State publicState(FlatSequencer::Stage stage, State current)
    {
        switch (stage) {
        case FlatSequencer::Stage::MovingWheel:
            return State::MovingWheel;
        case FlatSequencer::Stage::SettingLight:
        case FlatSequencer::Stage::CapturingDarks:
            return State::SettingLight;
        case FlatSequencer::Stage::Exposing:
            return State::Exposing;
        case FlatSequencer::Stage::Measuring:
            return State::Measuring;
        case FlatSequencer::Stage::Saving:
            return State::Saving;
        default:
            return current; // idle, or ending: the state changes once the run has ended
        }
    }

    // Before the sequencer runs, an end needs no lamp restored: the run has not touched it.
    void end(State last, const QString &text)
    {
        if (sequencer.running())
            return sequencer.end(last, text);
        if (!running())
            return;
        error = text;
        if (indi)
            indi->close();
        enter(last);
    }

    void fail(const QString &text) { end(State::Failed, text); }

    void start()
    {
        ++attempt;
        error.clear();
        sequencer.clear();
        if (indi) // deleted later: the end of the last run may have come from its own signal
            indi.release()->deleteLater();
        alpaca.reset();
        folder.reset();
        enter(State::Connecting);
        if (options.watchDir.isEmpty() == options.camera.isEmpty())
            return fail(QStringLiteral("give either a camera or a folder to watch"));
        const bool folderMode = !options.watchDir.isEmpty();
        if (options.capture > 0 && !folderMode && options.outDir.isEmpty())
            return fail(QStringLiteral("give a folder for the flat set"));
        sink = std::make_unique<FileResultSink>(options.tablePath, folderMode ? QString() : options.outDir);
        QString problem;
        if (!sink->prepare(problem))
            return fail(problem);
        indi = std::make_unique<IndiSession>(options);
        if (!indi->hasDevices())
            return connectAlpaca();
        QObject::connect(indi.get(), &IndiSession::ready, q, [this] { devicesReady(); });
        QObject::connect(indi.get(), &IndiSession::fault, q, [this](const QString &text) { fail(text); });
        indi->open();
    }

    void devicesReady()
    {
        if (!indi->lightBox())
            return connectAlpaca();
        begin();
    }

    void connectAlpaca()
    {
        alpaca = std::make_unique<AlpacaLightSource>(options.alpacaHost, options.alpacaPort);
        alpaca->open([this, run = attempt](const QString &problem) {
            if (run != attempt || !running())
                return;
            if (!problem.isEmpty())
                return fail(problem);
            begin();
        });
    }

    void begin()
    {
        FlatSequencer::Devices devices;
        devices.light = alpaca ? static_cast<LightSource *>(alpaca.get()) : indi->lightBox();
        if (!options.watchDir.isEmpty())
            folder = std::make_unique<FolderFrameSource>(options.watchDir);
        devices.frames = folder ? static_cast<FrameSource *>(folder.get()) : indi->camera();
        devices.wheel = indi->wheel();
        devices.moveWheel = !folder; // with a folder, the program taking the frames moves the wheel
        devices.sink = sink.get();
        sequencer.start(options, devices);
    }

    void ended(State last, const QString &text)
    {
        error = text;
        if (indi)
            indi->close();
        enter(last);
    }

    int exitCode() const
    {
        if (state == State::Failed)
            return 2;
        if (state == State::Idle)
            return 0;
        const QList<FilterResult> &results = sequencer.results();
        const bool allDone = results.size() == sequencer.filterCount()
                             && std::all_of(results.begin(), results.end(), [](const FilterResult &r) { return r.reached; });
        return allDone ? 0 : 1;
    }
};

FlatAssistant::Run::Run(FlatAssistant *owner) : q(owner)
{
    QObject::connect(&sequencer, &FlatSequencer::stageChanged, q,
                     [this](FlatSequencer::Stage stage) { enter(publicState(stage, state)); });
    QObject::connect(&sequencer, &FlatSequencer::ended, q,
                     [this](State last, const QString &text) { ended(last, text); });
    QObject::connect(&sequencer, &FlatSequencer::progressLine, q, &FlatAssistant::progressLine);
    QObject::connect(&sequencer, &FlatSequencer::frameMeasured, q, &FlatAssistant::frameMeasured);
    QObject::connect(&sequencer, &FlatSequencer::curveChanged, q, &FlatAssistant::curveChanged);
    QObject::connect(&sequencer, &FlatSequencer::filterFinished, q, &FlatAssistant::filterFinished);
    QObject::connect(&sequencer, &FlatSequencer::captureProgress, q, &FlatAssistant::captureProgress);
}

QString FilterResult::reportLine() const
{
    const QString banding = bandingBelow > 0
        ? QStringLiteral(" (banding below %1 s)").arg(QString::number(bandingBelow, 'g', 2)) : QString();
    if (reached)
        return QStringLiteral("%1: level %2, exposure %3 s%4, median %5 of full scale, %6 %7")
            .arg(filter)
            .arg(level)
            .arg(secondsText(exposure), banding, QString::number(figure, 'f', 3))
            .arg(frames)
            .arg(frames == 1 ? QStringLiteral("frame") : QStringLiteral("frames"));
    return QStringLiteral("%1: not reached: %2 of full scale at level %3 and %4 s%5")
        .arg(filter, QString::number(figure, 'f', 2))
        .arg(level)
        .arg(secondsText(exposure), banding);
}

FlatAssistant::FlatAssistant(QObject *parent) : QObject(parent), run(std::make_unique<Run>(this))
{
    qRegisterMetaType<FlatAssistant::State>();
    qRegisterMetaType<FilterResult>();
    qRegisterMetaType<flatsearch::Frame>();
}

FlatAssistant::~FlatAssistant()
{
    stop();
}

void FlatAssistant::setOptions(const AssistantOptions &options)
{
    run->options = options;
}

AssistantOptions FlatAssistant::options() const
{
    return run->options;
}

void FlatAssistant::start()
{
    if (!run->running() && !run->sequencer.ending())
        run->start();
}

void FlatAssistant::stop()
{
    run->end(State::Stopped, QString());
}

bool FlatAssistant::isFinished(State state)
{
    return state == State::Finished || state == State::Stopped || state == State::Failed;
}

FlatAssistant::State FlatAssistant::state() const
{
    return run->state;
}

QString FlatAssistant::errorText() const
{
    return run->error;
}

QList<FilterResult> FlatAssistant::results() const
{
    return run->sequencer.results();
}

int FlatAssistant::exitCode() const
{
    return run->exitCode();
}

flatsearch::ResponseCurve FlatAssistant::curve() const
{
    return run->sequencer.curve();
}

bool FlatAssistant::saveResults(const QString &tablePath, QString &error) const
{
    QList<FilterResult> results = run->sequencer.results();
    return FileResultSink::writeTable(tablePath, results, run->sequencer.tableLine(), error);
}
