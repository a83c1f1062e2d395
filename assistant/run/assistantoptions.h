// The options of a run, and the one reading of the program's arguments into them: the command line refuses to run
// on the first problem, the window starts with the values that are right and shows the wrong ones in its log.
#pragma once

#include "search/flatsearch.h"

#include <QList>
#include <QString>
#include <QStringList>

class QCommandLineParser;

struct AssistantOptions
{
    QString indiHost = QStringLiteral("127.0.0.1");
    int indiPort = 7624;
    QString camera;     // INDI CCD device; empty in folder mode
    QString light;      // INDI light box device; empty when the level goes through Alpaca
    QString wheel;      // INDI filter wheel; optional
    QStringList filters; // as the wheel names them; empty: every filter of the wheel
    QString watchDir;   // folder mode: new FITS files here are the test frames
    QString alpacaHost; // folder mode: an Alpaca CoverCalibrator instead of an INDI light box
    int alpacaPort = 0;
    flatsearch::Settings search;
    QString tablePath;  // the .vfc file the results go to; empty: results are only reported
    QString cameraType = QStringLiteral("CCD"); // "DSLR" or "CCD"
    QString isoBin;     // empty: the camera's binning ("1x1")
    // The whole flat set: this many flats per filter once its level is found, and as many flat-darks for each
    // distinct exposure once every filter is done, saved under `outDir` (see FlatSet). 0: only the levels. In folder
    // mode the run lists them for the user to take instead.
    int capture = 0;
    QString outDir;
    // Bounds of the waits on devices: each ends the run with an error naming the device.
    int deviceTimeoutMs = 5000;  // the server lists the devices, and they connect
    int wheelTimeoutMs = 30000;  // the wheel arrives at the filter's slot
    int lightTimeoutMs = 10000;  // the light box reports the lamp on and the level asked for
    double frameTimeoutS = 30;   // beyond the exposure, for the camera's frame to arrive
};

// What the program's arguments say.
struct AssistantArguments
{
    // A wrong value or combination ("--exposure needs a positive number, not "two"""), or something a run from the
    // command line still lacks ("give --table FILE.vfc"), which the window's fields ask for instead.
    struct Problem
    {
        QString text;
        bool lacking = false;
    };

    AssistantOptions options; // a wrong value leaves its option at the default
    bool gui = false;         // --gui: open the window
    bool night = false;       // --night: the window starts in the night theme
    QList<Problem> problems;  // in the order the options are read; the command line names the first

    // The wrong values and combinations, for the window's log.
    QStringList errors() const;
};

// Reads the arguments, program name first, as QCoreApplication::arguments() gives them.
AssistantArguments parseAssistantArguments(const QStringList &arguments);

// The program's description and options, for --help.
void describeAssistantOptions(QCommandLineParser &parser);
