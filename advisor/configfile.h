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
    NotText,   // holds a NUL byte before its text ends, or nothing else, and has no UTF-16 or UTF-32 byte-order mark
    ReadError, // the device reported an error before its end
};

struct ReadResult
{
    ReadStatus status = ReadStatus::Ok;
    std::vector<QString> lines; // empty unless status is Ok
    bool readAsWindows1252 = false; // the text was not valid in the locale's encoding
    int droppedNulBytes = 0;        // NUL bytes cut from the end, as a save cut short by a power failure leaves them
};

// Splits the contents into lines: LF or CR LF ends a line and is removed, a last line without a line end counts,
// a line end at the very end adds no empty line. A Unicode byte-order mark chooses the encoding; without one the
// text is decoded in the locale's encoding, or as Windows-1252 (what the program writes on Windows) when it is not
// valid in that encoding. NUL bytes at the end are dropped and counted. Lines are kept exactly, blank ones included.
ReadResult readConfiguration(const QByteArray &contents);

// The same from a device open for reading; reads at most one byte more than the limit.
ReadResult readConfiguration(QIODevice &device);

// Whether the locale's encoding can hold every character of the lines.
bool fitsLocaleEncoding(const std::vector<QString> &lines);

// Writes every line followed by a line feed, in the locale's encoding without a byte-order mark, or in UTF-8 with
// a byte-order mark when the locale's encoding cannot hold every character. False when the device refused the data.
bool writeConfiguration(QIODevice &device, const std::vector<QString> &lines);

} // namespace configfile
