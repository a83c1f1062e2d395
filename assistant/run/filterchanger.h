// The filter wheel as the run uses it: the filters it holds, and a move to a slot that answers once through `done`
// (an empty error once the wheel is there), bounding its own wait.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class FilterChanger
{
public:
    using Done = std::function<void(const QString &error)>;
    virtual ~FilterChanger() = default;

    // "filter wheel \"X\"", as errors name it.
    virtual QString label() const = 0;
    // In slot order.
    virtual QStringList filters() const = 0;
    // The slot (from 1) of a filter, its name matched exactly first, then in any case; -1 when the wheel has none.
    int slotOf(const QString &filter) const
    {
        const QStringList names = filters();
        int slot = names.indexOf(filter);
        for (int i = 0; slot < 0 && i < names.size(); ++i)
            if (names[i].compare(filter, Qt::CaseInsensitive) == 0)
                slot = i;
        return slot < 0 ? -1 : slot + 1;
    }
    virtual bool isAt(int slot) const = 0;
    // `filter`: the one in that slot, as errors name it.
    virtual void moveTo(int slot, const QString &filter, const Done &done) = 0;
};
