#include "flatassistant.h"

#include "alpacalight.h"
#include "flatset.h"
#include "framefolder.h"
#include "indilink.h"
#include "tablewriter.h"

#include "frames/fitsframe.h"
#include "search/bandingguard.h"
#include "search/curvestore.h"

#include <QDateTime>
#include <QFile>
#include <QFutureWatcher>
#include <QTimer>
#include <QtConcurrent>

#include <functional>
#include <set>

namespace {

const QString connectionProperty = QStringLiteral("CONNECTION");
const QString lampProperty = QStringLiteral("FLAT_LIGHT_CONTROL");
const QString levelProperty = QStringLiteral("FLAT_LIGHT_INTENSITY");
const QString levelElement = QStringLiteral("FLAT_LIGHT_INTENSITY_VALUE");
const QString exposureProperty = QStringLiteral("CCD_EXPOSURE");
const QString slotProperty = QStringLiteral("FILTER_SLOT");
const QString slotElement = QStringLiteral("FILTER_SLOT_VALUE");
const QString frameProperty = QStringLiteral("CCD1");
const QString frameTypeProperty = QStringLiteral("CCD_FRAME_TYPE");
const QString flatFrame = QStringLiteral("FRAME_FLAT");
const QString darkFrame = QStringLiteral("FRAME_DARK");
const int propertiesDefineMs = 3000;
const int lampOffMs = 2000;
const int lampOffPollMs = 20;

QString seconds(double value)
{
    return QString::number(value, 'g', 4);
}

bool isOn(const IndiProperty *property, const QString &element)
{
    return property && property->switches.value(element);
}

} // namespace

struct FlatAssistant::Run
{
    explicit Run(FlatAssistant *owner) : q(owner) {}

    FlatAssistant *q;
    AssistantOptions options;
    State state = State::Idle;
    QString error;
    QList<FilterResult> results;
    bool failedToSave = false;

    std::unique_ptr<IndiLink> indi;
    std::unique_ptr<AlpacaLight> alpaca;
    std::unique_ptr<FrameFolder> folder;
    QTimer deadline;
    std::function<bool()> awaited;
    std::function<void()> afterWait;
    std::function<QString()> waitFailure;

    QStringList filters;
    int filterIndex = -1;
    std::unique_ptr<flatsearch::GuardedSearch> search;
    std::vector<flatsearch::Frame> history;
    flatsearch::Step step;
    double bandingBelow = 0; // the longest exposure any filter's frames banded below: later filters start above it
    // The frame being taken: a test frame of the search, or one of the flat set (a flat-dark with the lamp off).
    struct FrameAsked
    {
        int level = 0;
        double exposure = 0;
        bool dark = false;
        bool forTheSet = false;
    } asked;
    QString exposureStarted; // its DATE-OBS
    FlatSet flatSet;
    FlatSet::Shot shot;
    QFutureWatcher<FlatSet::Saved> saving;
    bool lampSwitchedOn = false;
    bool lampSwitchedOff = false; // the user's lamp, off for the flat-darks: on again at the end
    QDateTime levelSetAt;
    int levelAsked = -1;
    QString cfa;
    QString isoBin;
    QString boxId;
    BoxMemory memory;
    flatsearch::ResponseCurve curve;
    QFutureWatcher<flatframes::Measurement> measuring;
    bool frameAwaited = false;
    bool ending = false;
    bool exposureAnswered = false;
    std::set<QString> devicesSeen; // the run's INDI devices the server has shown; one that leaves has gone away

    // ---- states and ends ----
    void enter(State next)
    {
        if (state == next)
            return;
        state = next;
        emit q->stateChanged(next);
    }

    bool running() const
    {
        return !ending && state != State::Idle && !isFinished(state);
    }

    void progress(const QString &line) { emit q->progressLine(line); }

    QString filter() const { return filters.value(filterIndex); }

    void end(State last, const QString &text)
    {
        if (!running())
            return;
        deadline.stop();
        awaited = nullptr;
        frameAwaited = false;
        if (folder)
            folder->stop();
        if (state == State::Exposing && indi && !options.camera.isEmpty())
            indi->sendSwitch(options.camera, QStringLiteral("CCD_ABORT_EXPOSURE"), QStringLiteral("ABORT"));
        error = text;
        ending = true;
        restoreLamp([this, last] {
            if (indi)
                indi->disconnectFromServer();
            ending = false;
            enter(last);
        });
    }

    void fail(const QString &text) { end(State::Failed, text); }

    // The lamp as the run found it: off again where the run switched it on, on again where it switched the user's
    // lamp off for the flat-darks.
    void restoreLamp(const std::function<void()> &then)
    {
        if (!lampSwitchedOn && !lampSwitchedOff)
            return then();
        const QString element = lampSwitchedOn ? QStringLiteral("FLAT_LIGHT_OFF") : QStringLiteral("FLAT_LIGHT_ON");
        lampSwitchedOn = lampSwitchedOff = false;
        if (alpaca) {
            alpaca->switchOff([then](const QString &) { then(); });
            return;
        }
        if (!indi || !indi->connected())
            return then();
        indi->sendSwitch(options.light, lampProperty, element);
        const IndiProperty *connection = property(options.light, connectionProperty);
        if (!connection || connection->alert())
            return then(); // a lost box shows nothing more
        awaitLamp(element, lampOffMs / lampOffPollMs, then);
    }

    bool lampShows(const QString &element) const
    {
        const IndiProperty *lamp = property(options.light, lampProperty);
        return lamp && !lamp->busy() && isOn(lamp, element);
    }

    // The switch goes out before the connection closes, and the run ends once the box shows it (bounded).
    void awaitLamp(const QString &element, int pollsLeft, const std::function<void()> &then)
    {
        if (lampShows(element) || pollsLeft <= 0 || !indi->connected())
            return then();
        QTimer::singleShot(lampOffPollMs, q,
                           [this, element, pollsLeft, then] { awaitLamp(element, pollsLeft - 1, then); });
    }

    // ---- waiting on INDI properties, bounded ----
    void waitUntil(const std::function<bool()> &condition, int timeoutMs, const std::function<QString()> &failure,
                   const std::function<void()> &then)
    {
        awaited = condition;
        afterWait = then;
        waitFailure = failure;
        deadline.start(timeoutMs);
        check();
    }

    void check()
    {
        if (!running())
            return;
        for (const QString &device : indiDevices())
            if (indi && indi->hasDevice(device))
                devicesSeen.insert(device);
        const QString fault = deviceFault();
        if (!fault.isEmpty())
            return fail(fault);
        if (!awaited || !awaited())
            return;
        deadline.stop();
        awaited = nullptr;
        const auto then = std::move(afterWait);
        then();
    }

    void timedOut()
    {
        if (!awaited)
            return;
        awaited = nullptr;
        fail(waitFailure());
    }

    const IndiProperty *property(const QString &device, const QString &name) const
    {
        return indi ? indi->property(device, name) : nullptr;
    }

    QString role(const QString &device) const
    {
        if (device == options.camera)
            return QStringLiteral("camera");
        return device == options.light ? QStringLiteral("light box") : QStringLiteral("filter wheel");
    }

    QString goneDevice() const
    {
        for (const QString &device : indiDevices())
            if (devicesSeen.count(device) && indi && !indi->hasDevice(device))
                return device;
        return QString();
    }

    QString deviceFault() const
    {
        const QString gone = goneDevice();
        if (!gone.isEmpty())
            return QStringLiteral("%1 \"%2\" went away").arg(role(gone), gone);
        if (!options.light.isEmpty() && state != State::Connecting) {
            const IndiProperty *connection = property(options.light, connectionProperty);
            if (!connection || connection->alert() || !isOn(connection, QStringLiteral("CONNECT")))
                return QStringLiteral("light box \"%1\" lost").arg(options.light);
        }
        if (state == State::SettingLight && levelAsked != asked.level && !options.light.isEmpty()) {
            const IndiProperty *intensity = property(options.light, levelProperty);
            if (intensity && intensity->alert())
                return QStringLiteral("light box \"%1\" did not take level %2").arg(options.light).arg(asked.level);
        }
        if (state == State::Exposing && frameAwaited && !options.camera.isEmpty()) {
            const IndiProperty *exposure = property(options.camera, exposureProperty);
            if (exposureAnswered && exposure && exposure->alert())
                return QStringLiteral("camera \"%1\" failed the exposure of %2 s")
                    .arg(options.camera, seconds(asked.exposure));
        }
        return QString();
    }

    // ---- connecting ----
    QStringList indiDevices() const
    {
        QStringList devices;
        for (const QString &device : {options.camera, options.light, options.wheel})
            if (!device.isEmpty())
                devices.append(device);
        return devices;
    }

    QString server() const { return options.indiHost + QLatin1Char(':') + QString::number(options.indiPort); }

    void start()
    {
        results.clear();
        error.clear();
        failedToSave = false;
        lampSwitchedOn = false;
        lampSwitchedOff = false;
        bandingBelow = 0;
        filterIndex = -1;
        levelAsked = -1;
        devicesSeen.clear();
        enter(State::Connecting);
        if (options.watchDir.isEmpty() == options.camera.isEmpty())
            return fail(QStringLiteral("give either a camera or a folder to watch"));
        flatSet = FlatSet(options.capture, options.watchDir.isEmpty() ? options.outDir : QString());
        if (flatSet.wanted() && options.watchDir.isEmpty() && options.outDir.isEmpty())
            return fail(QStringLiteral("give a folder for the flat set"));
        QString problem;
        if (!flatSet.makeFolder(problem))
            return fail(problem);
        if (indiDevices().isEmpty())
            return connectAlpaca();
        indi = std::make_unique<IndiLink>();
        QObject::connect(indi.get(), &IndiLink::serverAnswered, q, [this](bool ok) {
            if (!ok)
                return fail(QStringLiteral("no INDI server on %1").arg(server()));
            findDevices();
        });
        QObject::connect(indi.get(), &IndiLink::serverLost, q,
                         [this] { fail(QStringLiteral("INDI server on %1 went away").arg(server())); });
        QObject::connect(indi.get(), &IndiLink::propertyChanged, q, [this](const IndiProperty &changed) {
            if (changed.kind == IndiProperty::Kind::Blob && !changed.blob.isEmpty())
                frameArrived(changed);
            // An Alert the camera showed before this exposure is not this exposure's failure.
            if (changed.device == options.camera && changed.name == exposureProperty)
                exposureAnswered = true;
            check();
        });
        QObject::connect(indi.get(), &IndiLink::propertyRemoved, q, [this] { check(); });
        QObject::connect(indi.get(), &IndiLink::deviceRemoved, q, [this] { check(); });
        if (!options.camera.isEmpty())
            indi->receiveBlobs(options.camera, frameProperty);
        indi->connectTo(options.indiHost, options.indiPort);
    }

    QString missingDevice() const
    {
        for (const QString &device : indiDevices())
            if (!property(device, connectionProperty))
                return device;
        return QString();
    }

    void findDevices()
    {
        waitUntil([this] { return missingDevice().isEmpty(); }, options.deviceTimeoutMs,
                  [this] { return QStringLiteral("no INDI device \"%1\" on %2").arg(missingDevice(), server()); },
                  [this] { connectDevices(); });
    }

    QString unconnectedDevice() const
    {
        for (const QString &device : indiDevices()) {
            const IndiProperty *connection = property(device, connectionProperty);
            if (!connection || !connection->ok() || !isOn(connection, QStringLiteral("CONNECT")))
                return device;
        }
        return QString();
    }

    void connectDevices()
    {
        for (const QString &device : indiDevices())
            if (!isOn(property(device, connectionProperty), QStringLiteral("CONNECT")))
                indi->connectDevice(device);
        waitUntil([this] { return unconnectedDevice().isEmpty(); }, options.deviceTimeoutMs,
                  [this] { return QStringLiteral("INDI device \"%1\" did not connect").arg(unconnectedDevice()); },
                  [this] { awaitProperties(); });
    }

    // What a device must offer, once connected: (device, property) pairs.
    QList<QPair<QString, QString>> neededProperties() const
    {
        QList<QPair<QString, QString>> needed;
        if (!options.light.isEmpty())
            needed << qMakePair(options.light, lampProperty) << qMakePair(options.light, levelProperty);
        if (isVelmoraDriver())
            needed << qMakePair(options.light, QStringLiteral("VELMORA_BOX")); // the box's id, for its memory
        if (!options.camera.isEmpty())
            needed << qMakePair(options.camera, exposureProperty) << qMakePair(options.camera, frameTypeProperty);
        if (!options.wheel.isEmpty())
            needed << qMakePair(options.wheel, slotProperty) << qMakePair(options.wheel, QStringLiteral("FILTER_NAME"));
        return needed;
    }

    bool isVelmoraDriver() const
    {
        const IndiProperty *info = property(options.light, QStringLiteral("DRIVER_INFO"));
        return info && info->texts.value(QStringLiteral("DRIVER_EXEC")).endsWith(QLatin1String("indi_velmora_flat"));
    }

    QString missingProperty() const
    {
        static const QMap<QString, QString> roles = {{lampProperty, QStringLiteral("light box")},
                                                     {levelProperty, QStringLiteral("light box")},
                                                     {exposureProperty, QStringLiteral("camera")},
                                                     {frameTypeProperty, QStringLiteral("camera")},
                                                     {slotProperty, QStringLiteral("filter wheel")},
                                                     {QStringLiteral("FILTER_NAME"), QStringLiteral("filter wheel")},
                                                     {QStringLiteral("VELMORA_BOX"), QStringLiteral("light box")}};
        for (const auto &need : neededProperties())
            if (!property(need.first, need.second))
                return QStringLiteral("%1 \"%2\" has no %3").arg(roles.value(need.second), need.first, need.second);
        return QString();
    }

    void awaitProperties()
    {
        waitUntil([this] { return missingProperty().isEmpty(); }, propertiesDefineMs, [this] { return missingProperty(); },
                  [this] { prepareDevices(); });
    }

    void prepareDevices()
    {
        if (!options.camera.isEmpty())
            prepareCamera();
        boxId = indiBoxId();
        if (!options.watchDir.isEmpty() && !options.alpacaHost.isEmpty())
            return connectAlpaca();
        begin();
    }

    void prepareCamera()
    {
        if (property(options.camera, QStringLiteral("UPLOAD_MODE")))
            indi->sendSwitch(options.camera, QStringLiteral("UPLOAD_MODE"), QStringLiteral("UPLOAD_CLIENT"));
        const IndiProperty *pattern = property(options.camera, QStringLiteral("CCD_CFA"));
        cfa = pattern ? pattern->texts.value(QStringLiteral("CFA_TYPE")).trimmed() : QString();
        const IndiProperty *binning = property(options.camera, QStringLiteral("CCD_BINNING"));
        if (binning)
            isoBin = QStringLiteral("%1x%2")
                         .arg(qRound(binning->numbers.value(QStringLiteral("HOR_BIN"), 1)))
                         .arg(qRound(binning->numbers.value(QStringLiteral("VER_BIN"), 1)));
    }

    QString indiBoxId() const
    {
        if (options.light.isEmpty())
            return QStringLiteral("alpaca ") + options.alpacaHost + QLatin1Char(':') + QString::number(options.alpacaPort);
        QString id = options.light;
        const IndiProperty *box = property(options.light, QStringLiteral("VELMORA_BOX"));
        if (box)
            for (const char *element : {"PRODUCT_ID", "FIRMWARE"})
                if (!box->texts.value(QString::fromLatin1(element)).isEmpty())
                    id += QLatin1Char(' ') + box->texts.value(QString::fromLatin1(element));
        return id;
    }

    void connectAlpaca()
    {
        alpaca = std::make_unique<AlpacaLight>(options.alpacaHost, options.alpacaPort);
        boxId = indiBoxId();
        alpaca->connectDevice([this](const QString &problem, bool wasOn) {
            if (!running())
                return;
            if (!problem.isEmpty())
                return fail(problem);
            lampSwitchedOn = !wasOn;
            begin();
        });
    }

    // ---- the filters ----
    QStringList wheelFilters() const
    {
        const IndiProperty *names = property(options.wheel, QStringLiteral("FILTER_NAME"));
        QStringList listed;
        if (names)
            for (const QString &element : names->order)
                listed.append(names->texts.value(element));
        return listed;
    }

    void begin()
    {
        if (isoBin.isEmpty())
            isoBin = QStringLiteral("1x1");
        if (!options.isoBin.isEmpty())
            isoBin = options.isoBin;
        filters = options.filters.isEmpty() && !options.wheel.isEmpty() ? wheelFilters() : options.filters;
        if (filters.isEmpty())
            return fail(QStringLiteral("no filters: give --filters or a wheel that names its filters"));
        memory = CurveStore().load(boxId);
        curve = memory.curve;
        if (!options.watchDir.isEmpty()) {
            folder = std::make_unique<FrameFolder>(options.watchDir);
            QObject::connect(folder.get(), &FrameFolder::frameWritten, q,
                             [this](const QString &path, const QDateTime &written) { fileArrived(path, written); });
        }
        reportCapture();
        nextFilter();
    }

    void nextFilter()
    {
        ++filterIndex;
        if (filterIndex >= filters.size())
            return finish();
        history.clear();
        search = std::make_unique<flatsearch::GuardedSearch>(options.search, curve, expectedRate(), bandingBelow);
        if (options.wheel.isEmpty() || !options.watchDir.isEmpty())
            return takeStep(search->next(history));
        moveWheel();
    }

    QString cameraId() const { return options.camera.isEmpty() ? QStringLiteral("folder") : options.camera; }

    // This filter's light with this camera as the box showed it before, or a guess from the other filters'.
    double expectedRate() const
    {
        const auto known = memory.filterRates.find(CurveStore::rateKey(cameraId(), isoBin, filter()));
        if (known != memory.filterRates.end())
            return known->second;
        return flatsearch::guessFullLevelRate(filter().toStdString(), memory.ratesFor(cameraId(), isoBin));
    }

    int slotOf(const QString &name) const
    {
        const QStringList names = wheelFilters();
        int slot = names.indexOf(name);
        for (int i = 0; slot < 0 && i < names.size(); ++i)
            if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                slot = i;
        return slot < 0 ? -1 : slot + 1;
    }

    bool wheelAt(int slot) const
    {
        const IndiProperty *wheel = property(options.wheel, slotProperty);
        return wheel && wheel->ok() && qRound(wheel->numbers.value(slotElement)) == slot;
    }

    void moveWheel()
    {
        const int slot = slotOf(filter());
        if (slot < 0)
            return fail(QStringLiteral("filter wheel \"%1\" has no filter \"%2\"").arg(options.wheel, filter()));
        enter(State::MovingWheel);
        if (!wheelAt(slot)) {
            progress(QStringLiteral("%1: filter wheel to slot %2").arg(filter()).arg(slot));
            indi->sendNumber(options.wheel, slotProperty, slotElement, slot);
        }
        waitUntil([this, slot] { return wheelAt(slot); }, options.wheelTimeoutMs,
                  [this, slot] {
                      return QStringLiteral("filter wheel \"%1\" did not arrive at slot %2 (%3)")
                          .arg(options.wheel)
                          .arg(slot)
                          .arg(filter());
                  },
                  [this] { settleLight(); });
    }

    // A light box with per-filter presets moves its lamp when the wheel arrives: let it finish first.
    void settleLight()
    {
        waitUntil(
            [this] {
                const IndiProperty *intensity = property(options.light, levelProperty);
                return intensity && !intensity->busy();
            },
            options.lightTimeoutMs, [this] { return QStringLiteral("light box \"%1\" stays busy").arg(options.light); },
            [this] { takeStep(search->next(history)); });
    }

    // ---- one frame ----
    void takeStep(const flatsearch::Step &next)
    {
        step = next;
        if (step.verdict != flatsearch::Verdict::Next)
            return filterDone();
        asked = {step.level, step.exposure, false, false};
        enter(State::SettingLight);
        if (alpaca)
            return setAlpacaLevel();
        switchLampOn();
    }

    void setAlpacaLevel()
    {
        alpaca->setLevel(asked.level, [this](const QString &problem) {
            if (!running())
                return;
            if (!problem.isEmpty())
                return fail(problem);
            levelReady();
        });
    }

    bool lampOn() const
    {
        const IndiProperty *lamp = property(options.light, lampProperty);
        return lamp && lamp->ok() && isOn(lamp, QStringLiteral("FLAT_LIGHT_ON"));
    }

    void switchLampOffForDarks()
    {
        if (isOn(property(options.light, lampProperty), QStringLiteral("FLAT_LIGHT_ON"))) {
            progress(QStringLiteral("flat-darks: the lamp goes off"));
            indi->sendSwitch(options.light, lampProperty, QStringLiteral("FLAT_LIGHT_OFF"));
            lampSwitchedOff = !lampSwitchedOn;
            lampSwitchedOn = false;
        }
        waitUntil([this] { return lampShows(QStringLiteral("FLAT_LIGHT_OFF")); }, options.lightTimeoutMs,
                  [this] { return QStringLiteral("light box \"%1\" did not switch off").arg(options.light); },
                  [this] { expose(); });
    }

    void switchLampOn()
    {
        if (!isOn(property(options.light, lampProperty), QStringLiteral("FLAT_LIGHT_ON"))) {
            indi->sendSwitch(options.light, lampProperty, QStringLiteral("FLAT_LIGHT_ON"));
            lampSwitchedOn = true;
        }
        waitUntil([this] { return lampOn(); }, options.lightTimeoutMs,
                  [this] { return QStringLiteral("light box \"%1\" did not switch on").arg(options.light); },
                  [this] { setIndiLevel(); });
    }

    bool levelIs(int level) const
    {
        const IndiProperty *intensity = property(options.light, levelProperty);
        return intensity && intensity->ok() && qRound(intensity->numbers.value(levelElement)) == level;
    }

    void setIndiLevel()
    {
        const int level = asked.level;
        if (!levelIs(level))
            indi->sendNumber(options.light, levelProperty, levelElement, level);
        waitUntil([this, level] { return levelIs(level); }, options.lightTimeoutMs,
                  [this, level] {
                      return QStringLiteral("light box \"%1\" did not reach level %2").arg(options.light).arg(level);
                  },
                  [this] { levelReady(); });
    }

    void levelReady()
    {
        if (levelAsked != asked.level)
            levelSetAt = QDateTime::currentDateTime();
        levelAsked = asked.level;
        expose();
    }

    void expose()
    {
        enter(State::Exposing);
        if (folder) {
            progress(QStringLiteral("%1: take a frame at level %2, exposure %3 s, into %4")
                         .arg(filter())
                         .arg(asked.level)
                         .arg(seconds(asked.exposure), options.watchDir));
            return watchFolder();
        }
        setFrameType();
    }

    QString frameType() const { return asked.dark ? darkFrame : flatFrame; }

    bool frameTypeIsSet() const
    {
        const IndiProperty *type = property(options.camera, frameTypeProperty);
        return type && !type->busy() && isOn(type, frameType());
    }

    // Before every exposure: another program may have changed it, or the camera defined it again (as LIGHT).
    void setFrameType()
    {
        waitUntil([this] { return property(options.camera, frameTypeProperty) != nullptr; }, propertiesDefineMs,
                  [this] { return QStringLiteral("camera \"%1\" has no %2").arg(options.camera, frameTypeProperty); },
                  [this] {
                      indi->sendSwitch(options.camera, frameTypeProperty, frameType());
                      waitUntil([this] { return frameTypeIsSet(); }, options.deviceTimeoutMs,
                                [this] {
                                    const QString type = asked.dark ? QStringLiteral("DARK") : QStringLiteral("FLAT");
                                    return QStringLiteral("camera \"%1\" did not take frame type %2")
                                        .arg(options.camera, type);
                                },
                                [this] { startExposure(); });
                  });
    }

    void startExposure()
    {
        frameAwaited = true;
        exposureAnswered = false;
        exposureStarted = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
        indi->sendNumber(options.camera, exposureProperty, QStringLiteral("CCD_EXPOSURE_VALUE"), asked.exposure);
        const int timeoutMs = int((asked.exposure + options.frameTimeoutS) * 1000);
        waitUntil([] { return false; }, timeoutMs,
                  [this] {
                      return QStringLiteral("camera \"%1\" sent no frame within %2 s")
                          .arg(options.camera, seconds(asked.exposure + options.frameTimeoutS));
                  },
                  [] {});
    }

    void watchFolder()
    {
        enter(State::Exposing);
        frameAwaited = true;
        folder->watch();
    }

    void frameArrived(const IndiProperty &frame)
    {
        if (state != State::Exposing || !frameAwaited || frame.device != options.camera)
            return;
        frameAwaited = false;
        deadline.stop();
        awaited = nullptr;
        if (asked.forTheSet)
            return saveShot(frame.blob);
        const QString source = QStringLiteral("camera \"%1\"").arg(options.camera);
        measure(source, asked.exposure, [data = frame.blob, pattern = cfa] {
            return flatframes::measureFitsMemory(data.constData(), size_t(data.size()), pattern.toStdString());
        });
    }

    void fileArrived(const QString &path, const QDateTime &written)
    {
        if (state != State::Exposing || !frameAwaited)
            return;
        if (written < levelSetAt) {
            progress(QStringLiteral("%1: skipped %2: written before the level changed").arg(filter(), path));
            return;
        }
        frameAwaited = false;
        folder->stop();
        measure(QStringLiteral("\"%1\"").arg(path), -1, [path] {
            return flatframes::measureFitsFile(QFile::encodeName(path).toStdString());
        });
    }

    template <typename Measure> void measure(const QString &source, double exposure, Measure measureFrame)
    {
        enter(State::Measuring);
        QObject::disconnect(&measuring, nullptr, q, nullptr);
        QObject::connect(&measuring, &QFutureWatcher<flatframes::Measurement>::finished, q,
                         [this, source, exposure] { measured(source, exposure, measuring.result()); });
        measuring.setFuture(QtConcurrent::run(measureFrame));
    }

    bool sameFilter(const QString &header) const
    {
        if (header.isEmpty() || header.compare(filter(), Qt::CaseInsensitive) == 0)
            return true;
        const QString panelName = panelFilterName(header);
        return !panelName.isEmpty() && panelName == panelFilterName(filter());
    }

    void measured(const QString &source, double exposure, const flatframes::Measurement &measurement)
    {
        if (!running())
            return;
        if (!measurement.ok)
            return fail(QStringLiteral("frame from %1 could not be read: %2")
                            .arg(source, QString::fromStdString(measurement.error)));
        if (folder && !sameFilter(QString::fromStdString(measurement.filter))) {
            progress(QStringLiteral("%1: skipped %2: taken with filter %3")
                         .arg(filter(), source, QString::fromStdString(measurement.filter)));
            return watchFolder();
        }
        flatsearch::Frame frame;
        frame.level = step.level;
        frame.exposure = exposure > 0 ? exposure : (measurement.exposure > 0 ? measurement.exposure : step.exposure);
        frame.figure = measurement.figure;
        frame.saturated = measurement.saturated;
        frame.banding = measurement.banding;
        history.push_back(frame);
        progress(QStringLiteral("%1: frame %2 at level %3, exposure %4 s: median %5 of full scale%6")
                     .arg(filter())
                     .arg(history.size())
                     .arg(frame.level)
                     .arg(seconds(frame.exposure), QString::number(frame.figure, 'f', 3), frameRemark(frame)));
        emit q->frameMeasured(filter(), frame);
        const flatsearch::Step next = search->next(history);
        curve = search->curve();
        emit q->curveChanged();
        takeStep(next);
    }

    static QString frameRemark(const flatsearch::Frame &frame)
    {
        if (frame.saturated)
            return QStringLiteral(" (saturated)");
        if (flatsearch::bands(frame))
            return QStringLiteral(" (bands, %1 times the spread allowed)").arg(QString::number(frame.banding, 'f', 1));
        return QString();
    }

    // ---- results ----
    FilterResult resultOf() const
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

    void filterDone()
    {
        FilterResult result = resultOf();
        QString problem;
        const bool saved = !result.reached || options.tablePath.isEmpty() || writeToTable(result, problem);
        results.append(result);
        bandingBelow = std::max(bandingBelow, result.bandingBelow);
        remember();
        if (!saved) {
            failedToSave = true;
            emit q->filterFinished(result);
            return fail(problem);
        }
        emit q->filterFinished(result);
        if (result.reached && flatSet.wanted()) {
            flatSet.planFlats(filter(), result.level, result.exposure);
            reportCapture();
        }
        advance();
    }

    // ---- the flat set ----
    int filtersLeft() const { return std::max(0, int(filters.size()) - filterIndex - 1); }

    void reportCapture()
    {
        if (flatSet.wanted() && !folder)
            emit q->captureProgress(flatSet.taken(), flatSet.toTake(filtersLeft()));
    }

    // After a filter's search or a frame of the flat set: the set's next frame, else the next filter, else the end.
    void advance()
    {
        if (!folder && flatSet.hasShot())
            return takeShot();
        if (filtersLeft() > 0)
            return nextFilter();
        finish();
    }

    void takeShot()
    {
        shot = flatSet.nextShot();
        const bool dark = shot.kind == FlatSet::Kind::Dark;
        asked = {dark ? levelAsked : shot.level, shot.exposure, dark, true};
        enter(State::SettingLight);
        if (dark)
            return switchLampOffForDarks();
        switchLampOn();
    }

    void saveShot(const QByteArray &frame)
    {
        enter(State::Saving);
        QObject::disconnect(&saving, nullptr, q, nullptr);
        QObject::connect(&saving, &QFutureWatcher<FlatSet::Saved>::finished, q, [this] { shotSaved(saving.result()); });
        saving.setFuture(QtConcurrent::run([frame, folder = flatSet.folderOf(shot), stem = FlatSet::stemOf(shot),
                                            taken = shot, date = exposureStarted] {
            return FlatSet::save(frame, folder, stem, taken, date);
        }));
    }

    void shotSaved(const FlatSet::Saved &saved)
    {
        if (!running())
            return;
        if (!saved.error.isEmpty())
            return fail(QStringLiteral("frame from camera \"%1\" not saved: %2").arg(options.camera, saved.error));
        flatSet.shotTaken();
        const QString where = QDir::toNativeSeparators(saved.path);
        if (shot.kind == FlatSet::Kind::Dark)
            progress(QStringLiteral("flat-dark %1 of %2 at %3 s saved to %4")
                         .arg(shot.number)
                         .arg(flatSet.perFilter())
                         .arg(seconds(shot.exposure), where));
        else
            progress(QStringLiteral("%1: flat %2 of %3 saved to %4")
                         .arg(shot.filter)
                         .arg(shot.number)
                         .arg(flatSet.perFilter())
                         .arg(where));
        reportCapture();
        advance();
    }

    // Merges the result into the table file; its table filter becomes the one of the line it went to.
    bool writeToTable(FilterResult &result, QString &problem) const
    {
        std::vector<FlatRecord> records = {tableRecord(result)};
        if (!tablewriter::put(options.tablePath, records, knownFilterNames(), problem))
            return false;
        result.tableFilter = records.front().filter;
        return true;
    }

    // The filters of this run and of the wheel: the names a table line's filter could be.
    QStringList knownFilterNames() const { return filters + wheelFilters(); }

    FlatRecord tableRecord(const FilterResult &result) const
    {
        FlatRecord record;
        record.cameraType = options.cameraType;
        record.isoBin = isoBin;
        record.filter = result.filter; // the merge names the line's filter
        record.exposure = seconds(result.exposure);
        record.level = QString::number(result.level);
        return record;
    }

    void remember()
    {
        memory.curve = curve;
        if (search->fullLevelRate() > 0)
            memory.filterRates[CurveStore::rateKey(cameraId(), isoBin, filter())] = search->fullLevelRate();
        QString problem;
        if (!CurveStore().save(boxId, memory, problem))
            progress(QStringLiteral("the light box's curve was not stored: %1").arg(problem));
    }

    // Every filter done: the flat-darks of the set (in folder mode, what the user is to take), then the end.
    void finish()
    {
        if (flatSet.wanted() && !flatSet.darksPlanned()) {
            flatSet.planDarks(filter());
            if (folder) {
                for (const QString &line : flatSet.instructions())
                    progress(line);
            } else if (flatSet.hasShot()) {
                reportCapture();
                return takeShot();
            }
        }
        end(State::Finished, QString());
    }

    int exitCode() const
    {
        if (state == State::Failed)
            return 2;
        if (state == State::Idle)
            return 0;
        const bool allDone = results.size() == filters.size()
                             && std::all_of(results.begin(), results.end(), [](const FilterResult &r) { return r.reached; });
        return allDone ? 0 : 1;
    }
};

QString FilterResult::reportLine() const
{
    const QString banding = bandingBelow > 0
        ? QStringLiteral(" (banding below %1 s)").arg(QString::number(bandingBelow, 'g', 2)) : QString();
    if (reached)
        return QStringLiteral("%1: level %2, exposure %3 s%4, median %5 of full scale, %6 %7")
            .arg(filter)
            .arg(level)
            .arg(seconds(exposure), banding, QString::number(figure, 'f', 3))
            .arg(frames)
            .arg(frames == 1 ? QStringLiteral("frame") : QStringLiteral("frames"));
    return QStringLiteral("%1: not reached: %2 of full scale at level %3 and %4 s%5")
        .arg(filter, QString::number(figure, 'f', 2))
        .arg(level)
        .arg(seconds(exposure), banding);
}

FlatAssistant::FlatAssistant(QObject *parent) : QObject(parent), run(std::make_unique<Run>(this))
{
    qRegisterMetaType<FlatAssistant::State>();
    qRegisterMetaType<FilterResult>();
    qRegisterMetaType<flatsearch::Frame>();
    run->deadline.setSingleShot(true);
    connect(&run->deadline, &QTimer::timeout, this, [this] { run->timedOut(); });
}

FlatAssistant::~FlatAssistant()
{
    stop();
    run->measuring.waitForFinished();
    run->saving.waitForFinished();
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
    if (!run->running())
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
    return run->results;
}

int FlatAssistant::exitCode() const
{
    return run->exitCode();
}

flatsearch::ResponseCurve FlatAssistant::curve() const
{
    return run->curve;
}

bool FlatAssistant::saveResults(const QString &tablePath, QString &error) const
{
    std::vector<FlatRecord> records;
    for (const FilterResult &result : run->results)
        if (result.reached)
            records.push_back(run->tableRecord(result));
    return tablewriter::put(tablePath, records, run->knownFilterNames(), error);
}
