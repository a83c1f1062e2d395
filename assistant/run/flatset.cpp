#include "flatset.h"

#include "secondstext.h"

#include "frames/fitsframe.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

const QString darksFolder = QStringLiteral("darks");

// As the table line writes it.

// A filter's name as a folder and file name: letters, digits, '-', '_' and '.' kept, anything else '_'.
QString fileNameOf(const QString &filter)
{
    QString name = filter;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return name.isEmpty() || name.startsWith(QLatin1Char('.')) ? QLatin1Char('_') + name : name;
}

} // namespace

FlatSet::FlatSet(int perKind, const QString &folder) : perKind(std::max(0, perKind)), root(folder)
{
}

bool FlatSet::makeFolder(QString &error) const
{
    if (root.isEmpty() || QDir().mkpath(root))
        return true;
    error = QStringLiteral("the flat set's folder \"%1\" cannot be made").arg(QDir::toNativeSeparators(root));
    return false;
}

// At the exposure as the table line writes it, which the flat-darks then match exactly.
void FlatSet::planFlats(const QString &filter, int level, double exposure)
{
    exposure = secondsText(exposure).toDouble();
    for (int number = 1; number <= perKind; ++number) {
        pending.push_back({Kind::Flat, filter, level, exposure, number});
        listed.push_back(pending.back());
    }
    if (perKind > 0 && !exposures.contains(secondsText(exposure)))
        exposures.append(secondsText(exposure));
}

void FlatSet::planDarks(const QString &wheelFilter)
{
    if (darksDone)
        return;
    darksDone = true;
    for (const QString &exposure : exposures) {
        for (int number = 1; number <= perKind; ++number) {
            pending.push_back({Kind::Dark, wheelFilter, 0, exposure.toDouble(), number});
            listed.push_back(pending.back());
        }
    }
}

void FlatSet::shotTaken()
{
    if (pending.empty())
        return;
    pending.pop_front();
    ++done;
}

int FlatSet::toTake(int filtersLeft) const
{
    if (perKind == 0)
        return 0;
    const int darkExposures = darksDone ? 0 : std::max(int(exposures.size()), filtersLeft > 0 ? 1 : 0);
    return done + int(pending.size()) + perKind * (std::max(0, filtersLeft) + darkExposures);
}

QStringList FlatSet::instructions() const
{
    QStringList lines;
    for (const Shot &shot : listed) {
        if (shot.number != 1)
            continue;
        if (shot.kind == Kind::Flat)
            lines.append(QStringLiteral("%1: take %2 flats at level %3, exposure %4 s")
                             .arg(shot.filter)
                             .arg(perKind)
                             .arg(shot.level)
                             .arg(secondsText(shot.exposure)));
        else
            lines.append(QStringLiteral("take %1 flat-darks of %2 s with the lamp off")
                             .arg(perKind)
                             .arg(secondsText(shot.exposure)));
    }
    return lines;
}

QString FlatSet::folderOf(const Shot &shot) const
{
    return QDir(root).filePath(shot.kind == Kind::Dark ? darksFolder : fileNameOf(shot.filter));
}

QString FlatSet::stemOf(const Shot &shot)
{
    if (shot.kind == Kind::Dark)
        return QStringLiteral("dark_%1s").arg(secondsText(shot.exposure));
    return QStringLiteral("flat_%1_%2s").arg(fileNameOf(shot.filter), secondsText(shot.exposure));
}

FlatSet::Saved FlatSet::save(const QByteArray &frame, const QString &folder, const QString &stem, const Shot &shot,
                             const QString &dateObs)
{
    Saved saved;
    if (!QDir().mkpath(folder)) {
        saved.error = QStringLiteral("the folder \"%1\" cannot be made").arg(QDir::toNativeSeparators(folder));
        return saved;
    }
    // Earlier sets in the same folder are kept: the numbers go on after theirs.
    QString path;
    for (int number = 1; path.isEmpty() || QFile::exists(path); ++number)
        path = QDir(folder).filePath(QStringLiteral("%1_%2.fits").arg(stem).arg(number, 3, 10, QLatin1Char('0')));
    flatframes::FrameHeaders headers;
    headers.imageType = shot.kind == Kind::Dark ? "Dark Frame" : "Flat Field";
    headers.filter = shot.filter.toStdString();
    headers.exposure = shot.exposure;
    headers.lampLevel = shot.kind == Kind::Dark ? 0 : shot.level;
    headers.dateObs = dateObs.toStdString();
    std::string error;
    if (!flatframes::saveFitsFrame(frame.constData(), std::size_t(frame.size()), QFile::encodeName(path).toStdString(),
                                   headers, error)) {
        saved.error = QString::fromStdString(error);
        return saved;
    }
    saved.path = path;
    return saved;
}
