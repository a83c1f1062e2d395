// The whole flat set of a run: once a filter's level is found, N flats at that level and exposure; once every filter
// is done, N flat-darks (lamp off) for each distinct exposure of the flats. Saved as FITS files under one folder: a
// folder per filter and one, "darks", for the flat-darks. This class plans the frames and names and writes their
// files; the run takes them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <deque>

class FlatSet
{
public:
    enum class Kind { Flat, Dark };
    struct Shot
    {
        Kind kind = Kind::Flat;
        QString filter;   // the wheel's name (a flat-dark's: the filter the wheel holds)
        int level = 0;    // the lamp's level (a flat-dark's lamp is off)
        double exposure = 0;
        int number = 1;   // 1..N among the shots of its filter, or of its exposure
    };
    struct Saved
    {
        QString path;  // the file written
        QString error; // why it was not, naming the file
    };

    FlatSet() = default;
    // `perKind` 0: no flat set. `folder` empty: the frames are not taken by the run (folder mode), only listed.
    FlatSet(int perKind, const QString &folder);

    bool wanted() const { return perKind > 0; }
    int perFilter() const { return perKind; }
    // Makes the folder; false, with `error`, when it cannot be made.
    bool makeFolder(QString &error) const;

    void planFlats(const QString &filter, int level, double exposure);
    // The flat-darks of every exposure the flats were planned at, once; `wheelFilter` is the filter they are taken
    // through (their FILTER header).
    void planDarks(const QString &wheelFilter);
    bool darksPlanned() const { return darksDone; }

    bool hasShot() const { return !pending.empty(); }
    const Shot &nextShot() const { return pending.front(); }
    void shotTaken();
    int taken() const { return done; }
    // The frames of the whole set as far as they can be told: those taken and planned, N flats for each filter still
    // to search, and the flat-darks of the exposures known (of at least one while filters remain).
    int toTake(int filtersLeft) const;

    // Folder mode: the frames the user is to take, one line for each filter's flats and for each exposure's darks.
    QStringList instructions() const;

    // Where a shot goes: its folder, and the start of its file name (a number follows).
    QString folderOf(const Shot &shot) const;
    static QString stemOf(const Shot &shot);
    // Writes a frame under the first free name `STEM_NNN.fits` in `folder` (made when missing), with its headers.
    // Runs on any thread.
    static Saved save(const QByteArray &frame, const QString &folder, const QString &stem, const Shot &shot,
                      const QString &dateObs);

private:
    int perKind = 0;
    QString root;
    std::deque<Shot> pending;
    std::deque<Shot> listed; // every shot planned, for the instructions
    QStringList exposures;   // as written, in the order the flats came
    int done = 0;
    bool darksDone = false;
};
