// An INDI filter wheel (FILTER_SLOT, FILTER_NAME) as the run's filter changer.
#pragma once

#include "filterchanger.h"
#include "indidevice.h"

class IndiWheel : public IndiDevice, public FilterChanger
{
public:
    // `timeoutMs`: how long the wheel may take to arrive at a slot.
    IndiWheel(IndiLink &link, const QString &name, int timeoutMs);

    // Whether a device offers what a filter wheel must.
    static bool isWheel(const IndiLink &link, const QString &device);
    // The filters a device names, in slot order (none when it names none).
    static QStringList filterNames(const IndiLink &link, const QString &device);

    QString label() const override { return IndiDevice::label(); }
    QStringList filters() const override { return filterNames(link, name()); }
    bool isAt(int slot) const override;
    void moveTo(int slot, const QString &filter, const Done &done) override;

protected:
    QStringList neededProperties() const override;

private:
    int timeoutMs;
};
