#include "configfile.h"

#include <QIODevice>
#include <QStringRef>
#include <QTextCodec>
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

// Cuts decoded text into lines as a text stream's readLine does: LF ends a line, one CR before it goes with it,
// and so does a CR at the very end of the text. Each line gets a buffer of its own exact size.
class LineSplitter
{
public:
    explicit LineSplitter(std::vector<QString> &lines) : m_lines(lines) {}

    void add(const QString &text)
    {
        int start = 0;
        for (int end = text.indexOf(QLatin1Char('\n')); end >= 0; end = text.indexOf(QLatin1Char('\n'), start)) {
            finishLine(QStringRef(&text, start, end - start));
            start = end + 1;
        }
        m_partial += QStringRef(&text, start, text.size() - start); // a line that goes on in the next piece
    }

    void finish()
    {
        if (!m_partial.isEmpty())
            finishLine(QStringRef());
    }

private:
    void finishLine(const QStringRef &end)
    {
        QString line;
        if (m_partial.isEmpty()) {
            line = end.toString();
        } else {
            line.reserve(m_partial.size() + end.size());
            line += m_partial;
            line += end;
            m_partial.clear();
        }
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        m_lines.push_back(std::move(line));
    }

    std::vector<QString> &m_lines;
    QString m_partial;
};

int trailingNulBytes(const QByteArray &contents)
{
    int count = 0;
    while (count < contents.size() && contents.at(contents.size() - 1 - count) == '\0')
        ++count;
    return count;
}

// Decodes the text into lines piece by piece, so the whole text never stands in memory next to the lines made
// from it. With `strict`, stops and returns false at the first byte sequence that the codec cannot decode.
bool decodeLines(const QByteArray &text, QTextCodec *codec, bool strict, std::vector<QString> &lines)
{
    lines.clear();
    lines.reserve(size_t(text.count('\n')) + 1);
    LineSplitter splitter(lines);
    QTextCodec::ConverterState state;
    const int pieceSize = 64 * 1024;
    for (int offset = 0; offset < text.size(); offset += pieceSize) {
        splitter.add(codec->toUnicode(text.constData() + offset, std::min(pieceSize, text.size() - offset), &state));
        if (strict && state.invalidChars > 0)
            return false;
    }
    splitter.finish();
    return !strict || state.remainingChars == 0; // a character cut off at the end is not valid either
}

} // namespace

ReadResult readConfiguration(const QByteArray &contents)
{
    if (contents.size() > maximumSize)
        return {ReadStatus::TooLarge, {}};
    ReadResult result;
    QByteArray text = contents;
    if (!startsWithWideByteOrderMark(contents)) {
        result.droppedNulBytes = trailingNulBytes(contents);
        text = QByteArray::fromRawData(contents.constData(), contents.size() - result.droppedNulBytes);
        if (text.contains('\0') || (text.isEmpty() && result.droppedNulBytes > 0))
            return {ReadStatus::NotText, {}};
    }

    if (QTextCodec *marked = QTextCodec::codecForUtfText(text, nullptr)) {
        decodeLines(text, marked, false, result.lines);
    } else if (!decodeLines(text, QTextCodec::codecForLocale(), true, result.lines)) {
        decodeLines(text, QTextCodec::codecForName("Windows-1252"), false, result.lines);
        result.readAsWindows1252 = true;
    }
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

bool fitsLocaleEncoding(const std::vector<QString> &lines)
{
    const QTextCodec *locale = QTextCodec::codecForLocale();
    return std::all_of(lines.cbegin(), lines.cend(), [locale](const QString &line) { return locale->canEncode(line); });
}

bool writeConfiguration(QIODevice &device, const std::vector<QString> &lines)
{
    QTextStream stream(&device);
    if (!fitsLocaleEncoding(lines)) {
        stream.setCodec("UTF-8");
        stream.setGenerateByteOrderMark(true);
    }
    for (const QString &line : lines)
        stream << line << '\n';
    stream.flush();
    return stream.status() == QTextStream::Ok;
}

} // namespace configfile
