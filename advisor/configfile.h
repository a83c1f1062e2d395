#pragma once

// Reading and writing configuration files: one flat table line per text line.

#include <QByteArray>
#include <QString>

#include <vector>

class QIODevice;

namespace configfile {

// Larger files are refused: a flat table is a few kilobytes, so anything this big is not one.
constexpr qint64 maximumSize = 8 * 1024 * 1024;

enum class ReadStatus {
    Ok,
    TooLarge,  // more than maximumSize bytes
    NotText,   // holds a NUL byte and does not begin with a UTF-16 or UTF-32 byte-order mark
    ReadError, // the device reported an error before its end
};

struct ReadResult
{
    ReadStatus status = ReadStatus::Ok;
    std::vector<QString> lines; // empty unless status is Ok
};

// Splits the contents into lines: LF or CR LF ends a line and is removed, a last line without a line end counts,
// a line end at the very end adds no empty line. Decoded with the locale's encoding unless a Unicode byte-order
// mark chooses another. Lines are kept exactly, blank ones included.
ReadResult readConfiguration(const QByteArray &contents);

// The same from a device open for reading; reads at most one byte more than the limit.
ReadResult readConfiguration(QIODevice &device);

// Writes every line followed by a line feed, in the locale's encoding without a byte-order mark.
// Returns false when the device refused the data.
bool writeConfiguration(QIODevice &device, const std::vector<QString> &lines);

} // namespace configfile
