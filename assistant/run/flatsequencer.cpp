#include "flatsequencer.h"

#include "secondstext.h"

#include "filterchanger.h"
#include "lightsource.h"

#include "flatrecord.h"

#include <QDir>
#include <QFile>
#include <QtConcurrent>

namespace {

QString frameRemark(const flatsearch::Frame &frame)
{
    if (frame.saturated)
        return QStringLiteral(" (saturated)");
    if (flatsearch::bands(frame))
        return QStringLiteral(" (bands, %1 times the spread allowed)").arg(QString::number(frame.banding, 'f', 1));
    return QString();
}
} // namespace

FlatSequencer::FlatSequencer(QObject *parent) : QObject(parent)
{
}

FlatSequencer::~FlatSequencer()
{
    measuring.waitForFinished();
}

template <typename Answer> auto FlatSequencer::current(Answer answer)
{
    return [this, run = runNumber, answer](auto &&...args) {
        if (run == runNumber && running())
            answer(args...);
    };
}

void FlatSequencer::enter(Stage next)
{
    if (stage == next)
        return;
    stage = next;
    emit stageChanged(next);
}

void FlatSequencer::start(const AssistantOptions &given, const Devices &used)
{
    options = given;
    devices = used;
    ++runNumber;
    isEnding = false;
    done.clear();
    history.clear();
    filterIndex = -1;
    bandingBelow = 0;
    levelAsked = -1;
    levelSetAt = QDateTime();
    stage = Stage::Idle;
    active = true;
    isoBin = !options.isoBin.isEmpty() ? options.isoBin : devices.frames->binning();
    if (isoBin.isEmpty())
        isoBin = QStringLiteral("1x1");
    filters = options.filters.isEmpty() && devices.wheel ? devices.wheel->filters() : options.filters;
    if (filters.isEmpty())
        return fail(QStringLiteral("no filters: give --filters or a wheel that names its filters"));
    plan = FlatSet(options.capture, QString());
    boxId = devices.light->id();
    memory = devices.sink->recall(boxId);
    learned = memory.curve;
    devices.frames->setProgress(current([this](const QString &line) { progress(line); }));
    reportCapture();
    nextFilter();
}

void FlatSequencer::clear()
{
    ++runNumber;
    active = isEnding = false;
    stage = Stage::Idle;
    devices = Devices();
    done.clear();
    filters.clear();
}

void FlatSequencer::end(FlatAssistant::State last, const QString &error)
{
    if (!running())
        return;
    isEnding = true;
    outcome = last;
    outcomeError = error;
    devices.frames->abort();
    enter(Stage::Restoring);
    devices.light->restore([this, run = runNumber] {
        if (run != runNumber)
            return;
        isEnding = false;
        active = false;
        enter(Stage::Ended);
        emit ended(outcome, outcomeError);
    });
}

TableLine FlatSequencer::tableLine() const
{
    TableLine line;
    line.cameraType = options.cameraType;
    line.isoBin = isoBin;
    line.filterNames = filters;
    if (devices.wheel)
        line.filterNames += devices.wheel->filters();
    return line;
}

// ---- the filters ----

void FlatSequencer::nextFilter()
{
    ++filterIndex;
    if (filterIndex >= filters.size())
        return finish();
    history.clear();
    flatsearch::Settings settings = options.search;
    settings.filter = filter().toStdString();
    const ExpectedRate expected = expectedRate();
    settings.rateDoubt = expected.doubt;
    search = std::make_unique<flatsearch::GuardedSearch>(settings, learned, expected.rate, bandingBelow);
    if (!devices.wheel || !devices.moveWheel)
        return takeStep(search->next(history));
    moveWheel();
}

// This filter's light with this camera as the box showed it before, or a guess from the other filters'; and how far
// either may be off.
FlatSequencer::ExpectedRate FlatSequencer::expectedRate() const
{
    const QString camera = devices.frames->id();
    const auto known = memory.filterRates.find(CurveStore::rateKey(camera, isoBin, filter()));
    if (known != memory.filterRates.end())
        return {known->second, flatsearch::ownRateDoubt};
    const std::string name = filter().toStdString();
    const auto others = memory.ratesFor(camera, isoBin);
    return {flatsearch::guessFullLevelRate(name, others), flatsearch::rateGuessDoubt(name, others)};
}

void FlatSequencer::moveWheel()
{
    FilterChanger &wheel = *devices.wheel;
    const int slot = wheel.slotOf(filter());
    if (slot < 0)
        return fail(QStringLiteral("%1 has no filter \"%2\"").arg(wheel.label(), filter()));
    enter(Stage::MovingWheel);
    if (!wheel.isAt(slot))
        progress(QStringLiteral("%1: filter wheel to slot %2").arg(filter()).arg(slot));
    wheel.moveTo(slot, filter(), current([this](const QString &error) {
                     if (!error.isEmpty())
                         return fail(error);
                     settleLight();
                 }));
}

// A light box with per-filter presets moves its lamp when the wheel arrives: let it finish first.
void FlatSequencer::settleLight()
{
    devices.light->settle(current([this](const QString &error) {
        if (!error.isEmpty())
            return fail(error);
        takeStep(search->next(history));
    }));
}

// ---- one frame ----

void FlatSequencer::takeStep(const flatsearch::Step &next)
{
    step = next;
    if (step.verdict != flatsearch::Verdict::Next)
        return filterDone();
    asked = FrameRequest();
    asked.filter = filter();
    asked.level = step.level;
    asked.exposure = step.exposure;
    forTheSet = false;
    setLevel();
}

void FlatSequencer::setLevel()
{
    enter(Stage::SettingLight);
    devices.light->setLevel(asked.level, current([this](const QString &error) {
                                if (!error.isEmpty())
                                    return fail(error);
                                levelReady();
                            }));
}

void FlatSequencer::levelReady()
{
    if (levelAsked != asked.level)
        levelSetAt = QDateTime::currentDateTime();
    levelAsked = asked.level;
    expose();
}

void FlatSequencer::switchOffForDarks()
{
    enter(Stage::CapturingDarks);
    if (devices.light->isOn())
        progress(QStringLiteral("flat-darks: the lamp goes off"));
    devices.light->switchOff(current([this](const QString &error) {
        if (!error.isEmpty())
            return fail(error);
        expose();
    }));
}

void FlatSequencer::expose()
{
    enter(Stage::Exposing);
    asked.lightSince = levelSetAt;
    devices.frames->take(asked, frameAnswer());
}

FrameSource::Done FlatSequencer::frameAnswer()
{
    return current([this](const QString &error, const TakenFrame &frame) { frameTaken(error, frame); });
}

void FlatSequencer::frameTaken(const QString &error, const TakenFrame &frame)
{
    if (!error.isEmpty())
        return fail(error);
    if (forTheSet)
        return saveShot(frame);
    measure(frame);
}

void FlatSequencer::measure(const TakenFrame &frame)
{
    enter(Stage::Measuring);
    QObject::disconnect(&measuring, nullptr, &measuringContext, nullptr);
    connect(&measuring, &QFutureWatcher<flatframes::Measurement>::finished, &measuringContext,
            [this, frame, run = runNumber] {
                if (run == runNumber && running())
                    measured(frame, measuring.result());
            });
    const std::string pattern = devices.frames->colourPattern().toStdString();
    measuring.setFuture(QtConcurrent::run([frame, pattern] {
        if (!frame.path.isEmpty())
            return flatframes::measureFitsFile(QFile::encodeName(frame.path).toStdString());
        return flatframes::measureFitsMemory(frame.data.constData(), size_t(frame.data.size()), pattern);
    }));
}

bool FlatSequencer::sameFilter(const QString &header) const
{
    if (header.isEmpty() || header.compare(filter(), Qt::CaseInsensitive) == 0)
        return true;
    const QString panelName = panelFilterName(header);
    return !panelName.isEmpty() && panelName == panelFilterName(filter());
}

void FlatSequencer::measured(const TakenFrame &taken, const flatframes::Measurement &measurement)
{
    if (!measurement.ok)
        return fail(QStringLiteral("frame from %1 could not be read: %2")
                        .arg(taken.source, QString::fromStdString(measurement.error)));
    const QString headerFilter = QString::fromStdString(measurement.filter);
    if (devices.frames->mayShowOtherFilters() && !sameFilter(headerFilter)) {
        progress(QStringLiteral("%1: skipped %2: taken with filter %3").arg(filter(), taken.source, headerFilter));
        enter(Stage::Exposing);
        return devices.frames->takeAnother(frameAnswer());
    }
    flatsearch::Frame frame;
    frame.level = step.level;
    frame.exposure = taken.exposure > 0 ? taken.exposure
                                        : (measurement.exposure > 0 ? measurement.exposure : step.exposure);
    frame.figure = measurement.figure;
    frame.saturated = measurement.saturated;
    frame.banding = measurement.banding;
    history.push_back(frame);
    progress(QStringLiteral("%1: frame %2 at level %3, exposure %4 s: median %5 of full scale%6")
                 .arg(filter())
                 .arg(history.size())
                 .arg(frame.level)
                 .arg(secondsText(frame.exposure), QString::number(frame.figure, 'f', 3), frameRemark(frame)));
    emit frameMeasured(filter(), frame);
    const flatsearch::Step next = search->next(history);
    learned = search->curve();
    emit curveChanged();
    takeStep(next);
}

// ---- results ----

FilterResult FlatSequencer::resultOf() const
{
    FilterResult result;
    result.filter = filter();
    result.tableFilter = tableFilterName(filter(), {}, options.cameraType, isoBin); // a new line's, until written
    result.reached = step.verdict == flatsearch::Verdict::Done;
    result.frames = int(history.size());
    result.bandingBelow = search->bandingBelow();
    if (!history.empty()) {
        result.level = history.back().level;
        result.exposure = history.back().exposure;
        result.figure = history.back().figure;
    }
    if (result.reached) {
        result.level = step.level;
        result.exposure = step.exposure;
    }
    return result;
}

void FlatSequencer::filterDone()
{
    FilterResult result = resultOf();
    QString problem;
    const bool saved = devices.sink->putResult(result, tableLine(), problem);
    done.append(result);
    bandingBelow = std::max(bandingBelow, result.bandingBelow);
    remember();
    emit filterFinished(result);
    if (!saved)
        return fail(problem);
    if (result.reached && plan.wanted()) {
        plan.planFlats(filter(), result.level, result.exposure);
        reportCapture();
    }
    advance();
}

void FlatSequencer::remember()
{
    memory.curve = learned;
    if (search->fullLevelRate() > 0)
        memory.filterRates[CurveStore::rateKey(devices.frames->id(), isoBin, filter())] = search->fullLevelRate();
    QString problem;
    if (!devices.sink->keep(boxId, memory, problem))
        progress(QStringLiteral("the light box's curve was not stored: %1").arg(problem));
}

// ---- the flat set ----

int FlatSequencer::filtersLeft() const
{
    return std::max(0, int(filters.size()) - filterIndex - 1);
}

void FlatSequencer::reportCapture()
{
    if (plan.wanted() && devices.frames->takesTheSet())
        emit captureProgress(plan.taken(), plan.toTake(filtersLeft()));
}

// After a filter's search or a frame of the flat set: the set's next frame, else the next filter, else the end.
void FlatSequencer::advance()
{
    if (devices.frames->takesTheSet() && plan.hasShot())
        return takeShot();
    if (filtersLeft() > 0)
        return nextFilter();
    finish();
}

void FlatSequencer::takeShot()
{
    shot = plan.nextShot();
    const bool dark = shot.kind == FlatSet::Kind::Dark;
    asked = FrameRequest();
    asked.filter = shot.filter;
    asked.level = dark ? levelAsked : shot.level;
    asked.exposure = shot.exposure;
    asked.dark = dark;
    forTheSet = true;
    if (dark)
        return switchOffForDarks();
    setLevel();
}

void FlatSequencer::saveShot(const TakenFrame &frame)
{
    enter(Stage::Saving);
    const QString source = frame.source;
    devices.sink->saveShot(frame.data, shot, frame.dateObs, current([this, source](const FlatSet::Saved &saved) {
                               if (!saved.error.isEmpty())
                                   return fail(QStringLiteral("frame from %1 not saved: %2").arg(source, saved.error));
                               shotSaved(saved);
                           }));
}

void FlatSequencer::shotSaved(const FlatSet::Saved &saved)
{
    plan.shotTaken();
    const QString where = QDir::toNativeSeparators(saved.path);
    if (shot.kind == FlatSet::Kind::Dark)
        progress(QStringLiteral("flat-dark %1 of %2 at %3 s saved to %4")
                     .arg(shot.number)
                     .arg(plan.perFilter())
                     .arg(secondsText(shot.exposure), where));
    else
        progress(QStringLiteral("%1: flat %2 of %3 saved to %4")
                     .arg(shot.filter)
                     .arg(shot.number)
                     .arg(plan.perFilter())
                     .arg(where));
    reportCapture();
    advance();
}

// Every filter done: the flat-darks of the set (when the frames come from a folder, what the user is to take),
// then the end.
void FlatSequencer::finish()
{
    if (plan.wanted() && !plan.darksPlanned()) {
        plan.planDarks(filter());
        if (!devices.frames->takesTheSet()) {
            for (const QString &line : plan.instructions())
                progress(line);
        } else if (plan.hasShot()) {
            reportCapture();
            return takeShot();
        }
    }
    end(FlatAssistant::State::Finished, QString());
}
