#include "configfile.h"

#include <QIODevice>
#include <QTextStream>

#include <algorithm>

namespace configfile {

namespace {

bool startsWith(const QByteArray &contents, const char *mark, int length)
{
    return contents.startsWith(QByteArray::fromRawData(mark, length));
}

// UTF-16 and UTF-32 text is full of NUL bytes; their byte-order marks say it is text all the same.
// The UTF-32 little-endian mark begins with the UTF-16 one.
bool startsWithWideByteOrderMark(const QByteArray &contents)
{
    return startsWith(contents, "\xFF\xFE", 2) || startsWith(contents, "\xFE\xFF", 2)
        || startsWith(contents, "\x00\x00\xFE\xFF", 4);
}

// Reads up to `limit` bytes, or the whole device when it is shorter. False on a read error.
bool readAtMost(QIODevice &device, qint64 limit, QByteArray &contents)
{
    if (!device.isSequential())
        contents.reserve(int(std::min(device.size() - device.pos(), limit)));
    char chunk[64 * 1024];
    while (contents.size() < limit) {
        const qint64 wanted = std::min<qint64>(sizeof chunk, limit - contents.size());
        const qint64 got = device.read(chunk, wanted);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        contents.append(chunk, int(got));
    }
    return true;
}

} // namespace

ReadResult readConfiguration(const QByteArray &contents)
{
    if (contents.size() > maximumSize)
        return {ReadStatus::TooLarge, {}};
    if (contents.contains('\0') && !startsWithWideByteOrderMark(contents))
        return {ReadStatus::NotText, {}};

    ReadResult result;
    QTextStream stream(contents);
    while (!stream.atEnd())
        result.lines.push_back(stream.readLine());
    return result;
}

ReadResult readConfiguration(QIODevice &device)
{
    if (!device.isSequential() && device.size() - device.pos() > maximumSize)
        return {ReadStatus::TooLarge, {}};
    QByteArray contents;
    if (!readAtMost(device, maximumSize + 1, contents))
        return {ReadStatus::ReadError, {}};
    return readConfiguration(contents);
}

bool writeConfiguration(QIODevice &device, const std::vector<QString> &lines)
{
    QTextStream stream(&device);
    for (const QString &line : lines)
        stream << line << '\n';
    stream.flush();
    return stream.status() == QTextStream::Ok;
}

} // namespace configfile
