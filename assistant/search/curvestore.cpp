#include "curvestore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>

namespace {

// Readable and safe on any file system: letters, digits, "-" and "_" kept, the rest "_", and a hash of the whole
// identity so that two boxes whose names differ only in the replaced characters keep their own files.
QString safeFileName(const QString &boxId)
{
    QString name;
    for (const QChar c : boxId.left(80))
        name += (c.isLetterOrNumber() && c.unicode() < 128) || c == '-' || c == '_' ? c : QChar('_');
    const QByteArray hash = QCryptographicHash::hash(boxId.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return name + '-' + QString::fromLatin1(hash) + QStringLiteral(".json");
}

QJsonObject curveToJson(const flatsearch::ResponseCurve &curve)
{
    QJsonArray points;
    for (const auto &[level, relative] : curve.points())
        points.append(QJsonArray{level, relative});
    return QJsonObject{{QStringLiteral("darkZoneEnd"), curve.darkZoneEnd()}, {QStringLiteral("points"), points}};
}

// Through the curve's own text form, which checks that the points make a curve.
std::optional<flatsearch::ResponseCurve> curveFromJson(const QJsonObject &json)
{
    const QJsonValue darkEnd = json.value(QStringLiteral("darkZoneEnd"));
    if (!darkEnd.isDouble())
        return std::nullopt;
    std::string text = "dark " + std::to_string(darkEnd.toInt(-1)) + " points";
    for (const QJsonValue &point : json.value(QStringLiteral("points")).toArray()) {
        const QJsonArray pair = point.toArray();
        if (pair.size() != 2 || !pair.at(0).isDouble() || !pair.at(1).isDouble())
            return std::nullopt;
        text += ' ' + std::to_string(pair.at(0).toInt(-1)) + ':'
            + QByteArray::number(pair.at(1).toDouble(), 'g', 17).toStdString();
    }
    return flatsearch::ResponseCurve::parse(text);
}

std::map<std::string, double> ratesFromJson(const QJsonObject &json)
{
    std::map<std::string, double> rates;
    for (auto entry = json.begin(); entry != json.end(); ++entry) {
        const double rate = entry.value().toDouble(-1);
        if (rate > 0 && std::isfinite(rate))
            rates[entry.key().toStdString()] = rate;
    }
    return rates;
}

} // namespace

std::map<std::string, double> BoxMemory::ratesFor(const QString &camera, const QString &isoBin) const
{
    const std::string prefix = CurveStore::rateKey(camera, isoBin, QString());
    std::map<std::string, double> rates;
    for (const auto &[key, rate] : filterRates) {
        if (key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0)
            rates[key.substr(prefix.size())] = rate;
    }
    return rates;
}

CurveStore::CurveStore(const QString &folder) : folder(folder) {}

QString CurveStore::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/velmora-flat-assistant");
}

std::string CurveStore::rateKey(const QString &camera, const QString &isoBin, const QString &filter)
{
    return (camera + '|' + isoBin + '|' + filter).toStdString();
}

QString CurveStore::filePath(const QString &boxId) const
{
    return folder + QStringLiteral("/boxes/") + safeFileName(boxId);
}

BoxMemory CurveStore::load(const QString &boxId) const
{
    QFile file(filePath(boxId));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    const auto curve = curveFromJson(json.value(QStringLiteral("curve")).toObject());
    if (!curve)
        return {};
    return {*curve, ratesFromJson(json.value(QStringLiteral("filterRates")).toObject())};
}

bool CurveStore::save(const QString &boxId, const BoxMemory &memory, QString &error) const
{
    const QString path = filePath(boxId);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("cannot create the folder %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QJsonObject rates;
    for (const auto &[key, rate] : memory.filterRates)
        rates.insert(QString::fromStdString(key), rate);
    const QJsonObject json{{QStringLiteral("box"), boxId}, {QStringLiteral("curve"), curveToJson(memory.curve)},
        {QStringLiteral("filterRates"), rates}};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(json).toJson()) < 0 || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
