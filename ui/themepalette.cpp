#include "themepalette.h"

#include <QRegularExpression>

namespace themepalette {

namespace {

// The two palettes side by side: every name has a day and a night value. A section name ("yes" or empty) keeps or
// drops the rules between "@if name@" and "@endif@" of a template.
struct PaletteEntry
{
    const char *name;
    const char *day;
    const char *night;
};

const PaletteEntry palettes[] = {
    {"ground", "rgb(80, 80, 80)", "rgb(0, 0, 0)"},
    {"pane", "rgb(200, 200, 200)", "rgb(66, 15, 15)"},
    {"control", "rgb(98, 136, 163)", "rgb(140, 40, 40)"},
    {"controlPressed", "rgb(118, 156, 183)", "rgb(170, 70, 70)"},
    {"highlight", "rgb(248, 141, 2)", "rgb(200, 30, 30)"},
    {"idleTab", "rgb(98, 136, 163)", "rgb(40, 0, 0)"},
    {"statusGround", "rgb(80, 80, 80)", "black"},
    {"fieldDisabled", "rgb(220, 220, 220)", "rgb(66, 15, 15)"},
    {"fieldDisabledText", "rgb(82, 82, 82)", "rgb(255, 255, 255)"},
    {"lampOffIcon", "off.png", "red_off.png"},
    {"lampOnIcon", "on.png", "red_on.png"},
    {"greyDisabledButtons", "", "yes"},
    {"sliderHoverAndGroove", "", "yes"},
    // A disabled push button: the night theme greys the panel's; the flat assistant greys its own by day as well.
    {"buttonDisabled", "rgb(110, 110, 110)", "rgb(80, 80, 80)"},
    {"buttonDisabledText", "rgb(170, 170, 170)", "rgb(255, 255, 255)"},
    // The flat assistant's lists, results table and log are text on the pane with lines between the cells; its chart
    // draws grid lines on the ground and the saturated frames apart. The panel has none of these.
    {"paneText", "rgb(30, 30, 30)", "rgb(255, 255, 255)"},
    {"paneLine", "rgb(150, 150, 150)", "rgb(140, 40, 40)"},
    {"groundLine", "rgb(110, 110, 110)", "rgb(66, 15, 15)"},
    {"saturated", "rgb(255, 60, 60)", "rgb(255, 90, 40)"},
};

} // namespace

QString value(const QString &name, bool night)
{
    for (const PaletteEntry &entry : palettes) {
        if (name == QLatin1String(entry.name))
            return QString::fromLatin1(night ? entry.night : entry.day);
    }
    qFatal("theme template names \"%s\", which no palette has", qPrintable(name));
}

QString expand(const QString &templateText, bool night)
{
    static const QRegularExpression section(QStringLiteral("@if (\\w+)@(.*?)@endif@"),
                                            QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression placeholder(QStringLiteral("@(\\w+)@"));
    QString sheet = templateText;
    for (QRegularExpressionMatch match; (match = section.match(sheet)).hasMatch();) {
        const bool kept = !value(match.captured(1), night).isEmpty();
        sheet.replace(match.capturedStart(), match.capturedLength(), kept ? match.captured(2) : QString());
    }
    for (QRegularExpressionMatch match; (match = placeholder.match(sheet)).hasMatch();)
        sheet.replace(match.capturedStart(), match.capturedLength(), value(match.captured(1), night));
    return sheet;
}

} // namespace themepalette
