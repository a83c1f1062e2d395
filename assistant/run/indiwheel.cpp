#include "indiwheel.h"

#include "indilink.h"

namespace {
const QString slotProperty = QStringLiteral("FILTER_SLOT");
const QString slotElement = QStringLiteral("FILTER_SLOT_VALUE");
const QString namesProperty = QStringLiteral("FILTER_NAME");
const int wheelInterface = 1 << 4; // INDI's driver interface bit of a filter wheel
} // namespace

IndiWheel::IndiWheel(IndiLink &indi, const QString &name, int timeout)
    : IndiDevice(indi, name, QStringLiteral("filter wheel")), timeoutMs(timeout)
{
}

bool IndiWheel::isWheel(const IndiLink &link, const QString &device)
{
    return link.property(device, slotProperty) || (driverInterfaces(link, device) & wheelInterface);
}

QStringList IndiWheel::filterNames(const IndiLink &link, const QString &device)
{
    QStringList listed;
    if (const IndiProperty *names = link.property(device, namesProperty))
        for (const QString &element : names->order)
            listed.append(names->texts.value(element));
    return listed;
}

QStringList IndiWheel::neededProperties() const
{
    return {slotProperty, namesProperty};
}

bool IndiWheel::isAt(int slot) const
{
    const IndiProperty *wheel = property(slotProperty);
    return wheel && wheel->ok() && qRound(wheel->numbers.value(slotElement)) == slot;
}

void IndiWheel::moveTo(int slot, const QString &filter, const Done &done)
{
    if (!isAt(slot))
        link.sendNumber(name(), slotProperty, slotElement, slot);
    wait.start([this, slot] { return isAt(slot); }, timeoutMs,
               [this, slot, filter] {
                   return QStringLiteral("%1 did not arrive at slot %2 (%3)").arg(label()).arg(slot).arg(filter);
               },
               [done] { done(QString()); }, done);
}
