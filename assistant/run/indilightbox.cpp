#include "indilightbox.h"

#include "indilink.h"

#include <QTimer>

namespace {
const QString lampProperty = QStringLiteral("FLAT_LIGHT_CONTROL");
const QString lampOnElement = QStringLiteral("FLAT_LIGHT_ON");
const QString lampOffElement = QStringLiteral("FLAT_LIGHT_OFF");
const QString levelProperty = QStringLiteral("FLAT_LIGHT_INTENSITY");
const QString levelElement = QStringLiteral("FLAT_LIGHT_INTENSITY_VALUE");
// The panel's own driver names the box (product and firmware), which keys the box's memory.
const QString boxProperty = QStringLiteral("VELMORA_BOX");
const QString ownDriver = QStringLiteral("indi_velmora_flat");
const int lightBoxInterface = 1 << 10; // INDI's driver interface bit of a light box
// At the end of a run the lamp is awaited this long, looked at this often.
const int restoreMs = 2000;
const int restorePollMs = 20;
} // namespace

IndiLightBox::IndiLightBox(IndiLink &indi, const QString &name, int timeout)
    : IndiDevice(indi, name, QStringLiteral("light box")), timeoutMs(timeout)
{
}

bool IndiLightBox::isLightBox(const IndiLink &link, const QString &device)
{
    return (link.property(device, lampProperty) && link.property(device, levelProperty))
           || (driverInterfaces(link, device) & lightBoxInterface);
}

QStringList IndiLightBox::neededProperties() const
{
    QStringList needed = {lampProperty, levelProperty};
    if (isOwnDriver())
        needed << boxProperty;
    return needed;
}

bool IndiLightBox::isOwnDriver() const
{
    return driverExecutable().endsWith(ownDriver);
}

QString IndiLightBox::id() const
{
    QString id = name();
    if (const IndiProperty *box = property(boxProperty))
        for (const char *element : {"PRODUCT_ID", "FIRMWARE"})
            if (!box->texts.value(QString::fromLatin1(element)).isEmpty())
                id += QLatin1Char(' ') + box->texts.value(QString::fromLatin1(element));
    return id;
}

bool IndiLightBox::isOn() const
{
    return switchIsOn(property(lampProperty), lampOnElement);
}

QString IndiLightBox::fault() const
{
    return connectionLost() ? QStringLiteral("%1 lost").arg(label()) : QString();
}

bool IndiLightBox::lampShows(const QString &element) const
{
    const IndiProperty *lamp = property(lampProperty);
    return lamp && !lamp->busy() && switchIsOn(lamp, element);
}

bool IndiLightBox::levelIs(int level) const
{
    const IndiProperty *intensity = property(levelProperty);
    return intensity && intensity->ok() && qRound(intensity->numbers.value(levelElement)) == level;
}

// A new level the box shows an alert for was refused.
QString IndiLightBox::levelRefused(int level) const
{
    const IndiProperty *intensity = property(levelProperty);
    if (level != levelReached && intensity && intensity->alert())
        return QStringLiteral("%1 did not take level %2").arg(label()).arg(level);
    return QString();
}

bool IndiLightBox::lampOn() const
{
    const IndiProperty *lamp = property(lampProperty);
    return lamp && lamp->ok() && isOn();
}

void IndiLightBox::setLevel(int level, const Done &done)
{
    if (!isOn()) {
        link.sendSwitch(name(), lampProperty, lampOnElement);
        switchedOn = true;
    }
    wait.start([this] { return lampOn(); }, timeoutMs,
               [this] { return QStringLiteral("%1 did not switch on").arg(label()); },
               [this, level, done] { sendLevel(level, done); }, done, [this, level] { return levelRefused(level); });
}

void IndiLightBox::sendLevel(int level, const Done &done)
{
    if (!levelIs(level))
        link.sendNumber(name(), levelProperty, levelElement, level);
    wait.start([this, level] { return levelIs(level); }, timeoutMs,
               [this, level] { return QStringLiteral("%1 did not reach level %2").arg(label()).arg(level); },
               [this, level, done] {
                   levelReached = level;
                   done(QString());
               },
               done, [this, level] { return levelRefused(level); });
}

void IndiLightBox::switchOff(const Done &done)
{
    if (isOn()) {
        link.sendSwitch(name(), lampProperty, lampOffElement);
        switchedOff = !switchedOn;
        switchedOn = false;
    }
    wait.start([this] { return lampShows(lampOffElement); }, timeoutMs,
               [this] { return QStringLiteral("%1 did not switch off").arg(label()); }, [done] { done(QString()); },
               done);
}

void IndiLightBox::settle(const Done &done)
{
    wait.start(
        [this] {
            const IndiProperty *intensity = property(levelProperty);
            return intensity && !intensity->busy();
        },
        timeoutMs, [this] { return QStringLiteral("%1 stays busy").arg(label()); }, [done] { done(QString()); }, done);
}

// The switch goes out before the connection closes, and the run ends once the box shows it (bounded).
void IndiLightBox::restore(const std::function<void()> &done)
{
    wait.cancel();
    if (!switchedOn && !switchedOff)
        return done();
    const QString element = switchedOn ? lampOffElement : lampOnElement;
    switchedOn = switchedOff = false;
    if (!link.connected())
        return done();
    link.sendSwitch(name(), lampProperty, element);
    if (connectionLost())
        return done(); // a lost box shows nothing more
    awaitLamp(element, restoreMs / restorePollMs, done);
}

void IndiLightBox::awaitLamp(const QString &element, int pollsLeft, const std::function<void()> &done)
{
    if (lampShows(element) || pollsLeft <= 0 || !link.connected())
        return done();
    QTimer::singleShot(restorePollMs, &context,
                       [this, element, pollsLeft, done] { awaitLamp(element, pollsLeft - 1, done); });
}
