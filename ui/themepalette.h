// The day and the night-vision palette, and the templates the sheets are made from: a template names a palette
// entry as @name@, and keeps the rules between "@if name@" and "@endif@" only where that entry is not empty. The
// panel's sheets (themesheets.h) and the flat assistant's are both made this way, so that the two programs share
// one set of colours.
#pragma once

#include <QString>

namespace themepalette {

// An entry's day or night value; a name no palette has is a programming error and stops the program.
QString value(const QString &name, bool night);

// The template with its sections kept or dropped and its names replaced by the day or night values.
QString expand(const QString &templateText, bool night);

} // namespace themepalette
