// The run itself: for each filter, the wheel to it, then the search's frames (lamp level, exposure, measurement)
// until the search is done, the result to the sink; then the flat set's frames; at the end the lamp as it was found.
// It touches no device: it asks a LightSource, a FrameSource and perhaps a FilterChanger, and hands results to a
// ResultSink. Each answer that comes after the run ended (or after a newer run began) is dropped.
#pragma once

#include "flatassistant.h"
#include "flatset.h"
#include "framesource.h"
#include "resultsink.h"

#include "frames/fitsframe.h"
#include "search/bandingguard.h"
#include "search/curvestore.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QObject>

#include <memory>
#include <vector>

class FilterChanger;
class LightSource;

class FlatSequencer : public QObject
{
    Q_OBJECT
public:
    enum class Stage {
        Idle,
        MovingWheel,    // the wheel to the filter, then the lamp settles
        SettingLight,   // the lamp on at the level asked for
        Exposing,       // a frame is awaited from the frame source
        Measuring,      // off the event loop's thread
        Saving,         // a frame of the flat set goes to the sink
        CapturingDarks, // the lamp goes off for the flat-darks
        Restoring,      // the run ends: the lamp as it was found
        Ended
    };
    Q_ENUM(Stage)

    struct Devices
    {
        LightSource *light = nullptr;
        FrameSource *frames = nullptr;
        FilterChanger *wheel = nullptr; // may be none
        bool moveWheel = false;         // the run moves the wheel (else the program taking the frames does)
        ResultSink *sink = nullptr;
    };

    explicit FlatSequencer(QObject *parent = nullptr);
    // Waits for a measurement under way.
    ~FlatSequencer() override;

    void start(const AssistantOptions &options, const Devices &devices);
    // Before another run: the last one's results and devices are forgotten.
    void clear();
    // Ends the run as `last` (Finished, Stopped or Failed, with `error`): the frame under way is dropped, the lamp
    // restored, then `ended` follows.
    void end(FlatAssistant::State last, const QString &error);
    void fail(const QString &error) { end(FlatAssistant::State::Failed, error); }
    // Started and not yet ended (nor ending).
    bool running() const { return active && !isEnding; }
    bool ending() const { return isEnding; }

    Stage currentStage() const { return stage; }
    const QList<FilterResult> &results() const { return done; }
    int filterCount() const { return int(filters.size()); }
    flatsearch::ResponseCurve curve() const { return learned; }
    TableLine tableLine() const;

signals:
    void stageChanged(FlatSequencer::Stage stage);
    void progressLine(const QString &line);
    void frameMeasured(const QString &filter, const flatsearch::Frame &frame);
    void curveChanged();
    void filterFinished(const FilterResult &result);
    void captureProgress(int taken, int toTake);
    void ended(FlatAssistant::State last, const QString &error);

private:
    // An answer of a device, for this run only.
    template <typename Answer> auto current(Answer answer);

    void enter(Stage next);
    void progress(const QString &line) { emit progressLine(line); }
    QString filter() const { return filters.value(filterIndex); }

    void nextFilter();
    struct ExpectedRate
    {
        double rate = 0;
        double doubt = 0;
    };
    ExpectedRate expectedRate() const;
    void moveWheel();
    void settleLight();
    void takeStep(const flatsearch::Step &next);
    // The lamp on at the level asked for, then the frame.
    void setLevel();
    void levelReady();
    void switchOffForDarks();
    void expose();
    FrameSource::Done frameAnswer();
    void frameTaken(const QString &error, const TakenFrame &frame);
    void measure(const TakenFrame &frame);
    bool sameFilter(const QString &header) const;
    void measured(const TakenFrame &frame, const flatframes::Measurement &measurement);
    FilterResult resultOf() const;
    void filterDone();
    void remember();
    int filtersLeft() const;
    void reportCapture();
    void advance();
    void takeShot();
    void saveShot(const TakenFrame &frame);
    void shotSaved(const FlatSet::Saved &saved);
    void finish();

    AssistantOptions options;
    Devices devices;
    Stage stage = Stage::Idle;
    bool active = false;
    bool isEnding = false;
    int runNumber = 0;
    FlatAssistant::State outcome = FlatAssistant::State::Finished;
    QString outcomeError;

    QStringList filters;
    int filterIndex = -1;
    QString isoBin;
    QString boxId;
    BoxMemory memory;
    flatsearch::ResponseCurve learned;
    std::unique_ptr<flatsearch::GuardedSearch> search;
    std::vector<flatsearch::Frame> history;
    flatsearch::Step step;
    double bandingBelow = 0; // the longest exposure any filter's frames banded below: later filters start above it
    QList<FilterResult> done;

    // The frame being taken: a test frame of the search, or one of the flat set.
    FrameRequest asked;
    bool forTheSet = false;
    int levelAsked = -1;   // the lamp's last level reached
    QDateTime levelSetAt;  // when it changed
    FlatSet plan;
    FlatSet::Shot shot;
    QFutureWatcher<flatframes::Measurement> measuring;
    QObject measuringContext; // the receiver of this run's measurement
};
