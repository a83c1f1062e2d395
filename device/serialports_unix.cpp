#include "serialports.h"

#include <QRegularExpression>

// A path may hold a ":" itself (/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0), so only a ":" before a "/"
// separates two of them.
QStringList extraPortNames(const QString &text)
{
    static const QRegularExpression separator(QStringLiteral(":(?=/)"));
    QStringList paths;
    for (QString path : text.split(separator)) {
        while (path.startsWith(QLatin1Char(':')))
            path.remove(0, 1);
        while (path.endsWith(QLatin1Char(':')))
            path.chop(1);
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}
