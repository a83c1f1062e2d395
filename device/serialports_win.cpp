#include "serialports.h"

// COM names as Windows writes them ("COM5;COM12"), blanks around a name allowed.
QStringList extraPortNames(const QString &text)
{
    QStringList names;
    for (const QString &name : text.split(QLatin1Char(';'))) {
        const QString trimmed = name.trimmed();
        if (!trimmed.isEmpty())
            names.append(trimmed);
    }
    return names;
}
