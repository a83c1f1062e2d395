// velmora-bench-assistant-indi: whole runs of the flat assistant over INDI, as a user meets them, on the frame model.
// For each light box model: a first run (nothing known of the box) and a second run (its learned curve), the frames
// per filter, whether every result lies in the band, and where the time went: the wheel, the light box, the
// exposures, and what is left per frame (the assistant, the INDI round trips and the camera's download).
#include "assistantrig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <map>

namespace {

struct RunFigures
{
    int filters = 0;
    int frames = 0;
    int firstFilterFrames = 0;
    int laterFilterMost = 0;
    bool allInBand = true;
    double exposureS = 0;
    std::map<FlatAssistant::State, qint64> stateMs;
    int exitCode = -1;
};

RunFigures runOnce(AssistantRig &rig, const QStringList &filters, const QString &table)
{
    RunFigures figures;
    FlatAssistant assistant;
    AssistantOptions options = rig.options(filters);
    options.tablePath = table;
    assistant.setOptions(options);
    QElapsedTimer clock;
    FlatAssistant::State current = FlatAssistant::State::Idle;
    QObject::connect(&assistant, &FlatAssistant::stateChanged, [&](FlatAssistant::State next) {
        if (clock.isValid())
            figures.stateMs[current] += clock.restart();
        else
            clock.start();
        current = next;
    });
    QObject::connect(&assistant, &FlatAssistant::frameMeasured,
                     [&](const QString &, const flatsearch::Frame &frame) { figures.exposureS += frame.exposure; });
    runToEnd(assistant, 300000);
    figures.exitCode = assistant.exitCode();
    const QList<FilterResult> results = assistant.results();
    figures.filters = results.size();
    for (int i = 0; i < results.size(); ++i) {
        figures.frames += results[i].frames;
        if (i == 0)
            figures.firstFilterFrames = results[i].frames;
        else
            figures.laterFilterMost = std::max(figures.laterFilterMost, results[i].frames);
        figures.allInBand = figures.allInBand && results[i].reached && qAbs(results[i].figure - 0.5) <= 0.025;
    }
    return figures;
}

double perFrameMs(const RunFigures &figures, FlatAssistant::State state)
{
    const auto found = figures.stateMs.find(state);
    return figures.frames == 0 || found == figures.stateMs.end() ? 0 : double(found->second) / figures.frames;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    const QStringList filters{"Red", "Green", "Blue", "Luminance", "H_Alpha", "OIII"};
    const QString size = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("1024x768");
    qputenv("VELMORA_TEST_CCD_SIZE", size.toUtf8());
    out << "velmora-bench-assistant-indi: filters " << filters.join(',') << ", frames " << size
        << " 16-bit, exposures 40 times shorter than the model's (2 s asked: 0.05 s taken)\n\n";
    out << "| light box | run | frames/filter | first filter | later filters (most) | all in band | exposure ms/frame"
           " | beyond the exposure ms/frame | of it the camera's download | of it the rest | wheel s |\n";
    out << "|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (const char *box : {"measured-led", "gamma", "linear"}) {
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        RigSetup setup;
        setup.box = QString::fromLatin1(box);
        AssistantRig rig;
        if (!rig.start(setup)) {
            out << "rig: " << rig.errorText() << '\n';
            return 1;
        }
        for (const char *run : {"first", "second"}) {
            const RunFigures figures = runOnce(rig, filters, data.filePath(QStringLiteral("flats.vfc")));
            const double exposureMs = figures.frames ? figures.exposureS * 1000 / figures.frames : 0;
            double allMs = 0;
            for (const auto &spent : figures.stateMs)
                if (spent.first != FlatAssistant::State::MovingWheel && spent.first != FlatAssistant::State::Connecting)
                    allMs += perFrameMs(figures, spent.first);
            const double downloadMs = perFrameMs(figures, FlatAssistant::State::Exposing) - exposureMs;
            out << "| " << box << " | " << run << " | "
                << QString::number(double(figures.frames) / std::max(1, figures.filters), 'f', 2) << " | "
                << figures.firstFilterFrames << " | " << figures.laterFilterMost << " | "
                << (figures.allInBand ? "yes" : "no") << " | " << QString::number(exposureMs, 'f', 0) << " | "
                << QString::number(allMs - exposureMs, 'f', 0) << " | " << QString::number(downloadMs, 'f', 0) << " | "
                << QString::number(allMs - exposureMs - downloadMs, 'f', 0) << " | "
                << QString::number(perFrameMs(figures, FlatAssistant::State::MovingWheel) * figures.frames / 1000.0, 'f', 1)
                << " |\n";
            out.flush();
        }
    }
    out << "\nbeyond the exposure: each frame's time from the wheel's arrival to the search's next step, less the"
           " exposure; the camera's download: from the exposure's end to the frame in the assistant (the model camera"
           " renders the frame, INDI carries it); the rest: the lamp level asked and confirmed, the frame read and"
           " measured, the search\n";
    return 0;
}
