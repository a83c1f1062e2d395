// What the assistant remembers of each light box between runs: its learned curve and each filter's rate, one JSON
// file per box in the user's data folder (~/.local/share/velmora-flat-assistant/boxes/).
#pragma once

#include "flatsearch.h"

#include <QString>

#include <map>
#include <string>

struct BoxMemory
{
    flatsearch::ResponseCurve curve;
    // Each filter's figure per second at level 255, keyed by CurveStore::rateKey(camera, ISO/binning, filter).
    std::map<std::string, double> filterRates;

    // The rates known for one camera and ISO/binning, by filter name (as flatsearch::guessFullLevelRate takes them).
    std::map<std::string, double> ratesFor(const QString &camera, const QString &isoBin) const;
};

class CurveStore
{
public:
    // `folder` holds the "boxes" folder; the default is the user's data folder's "velmora-flat-assistant".
    explicit CurveStore(const QString &folder = defaultFolder());

    // What is known of a box; nothing (an empty memory) for a box never saved or a file that cannot be read.
    BoxMemory load(const QString &boxId) const;
    // Replaces the box's file atomically, creating the folders it needs.
    bool save(const QString &boxId, const BoxMemory &memory, QString &error) const;
    // The file a box's memory lives in.
    QString filePath(const QString &boxId) const;

    static QString defaultFolder();
    static std::string rateKey(const QString &camera, const QString &isoBin, const QString &filter);

private:
    QString folder;
};
