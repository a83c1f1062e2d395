// Fuzzes the configuration file reader with arbitrary file contents. Checks the refusal rules and the NUL padding
// that is dropped, that reading from a device gives what reading the bytes gives, that the lines are exactly what a
// text stream's readLine gives (in the locale's encoding, or in Windows-1252 for text that is not valid in it), and
// that lines read from a file survive being written and read again.
#include "configfile.h"

#include <QBuffer>
#include <QTextCodec>
#include <QTextDecoder>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

using configfile::ReadStatus;

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "configuration file check failed: %s\n", what);
        std::abort();
    }
}

bool startsWithAny(const QByteArray &bytes, std::initializer_list<QByteArray> marks)
{
    for (const QByteArray &mark : marks)
        if (bytes.startsWith(mark))
            return true;
    return false;
}

const QByteArray utf8Mark("\xEF\xBB\xBF");
const QByteArray utf16LeMark("\xFF\xFE");
const QByteArray utf16BeMark("\xFE\xFF");
const QByteArray utf32BeMark("\x00\x00\xFE\xFF", 4);

// What a text stream's readLine loop reads. One difference is intended: bytes that decode to no text at all (only a
// byte-order mark, or an unfinished multi-byte sequence) give the stream one empty line, and the reader none.
std::vector<QString> readByTextStream(const QByteArray &bytes, QTextCodec *codec)
{
    std::vector<QString> lines;
    if (QTextDecoder(QTextCodec::codecForUtfText(bytes, codec)).toUnicode(bytes).isEmpty())
        return lines;
    QTextStream stream(bytes);
    stream.setCodec(codec);
    while (!stream.atEnd())
        lines.push_back(stream.readLine());
    return lines;
}

bool validInLocaleEncoding(const QByteArray &bytes)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForLocale()->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

bool survivesWriting(const std::vector<QString> &lines)
{
    for (const QString &line : lines)
        if (line.endsWith(QLatin1Char('\r'))) // such a line end cannot be written as part of a line
            return false;
    // A first line beginning with U+FEFF is written as a byte-order mark, which reading then takes away.
    return lines.empty() || !lines.front().startsWith(QChar(QChar::ByteOrderMark));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const configfile::ReadResult read = configfile::readConfiguration(bytes);

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const configfile::ReadResult fromDevice = configfile::readConfiguration(buffer);
    require(fromDevice.status == read.status && fromDevice.lines == read.lines, "device and bytes differ");

    const bool wide = startsWithAny(bytes, {utf16LeMark, utf16BeMark, utf32BeMark});
    QByteArray text = bytes;
    while (!wide && text.endsWith('\0'))
        text.chop(1);
    const bool refused = !wide && (text.contains('\0') || (text.isEmpty() && !bytes.isEmpty()));
    require(read.status == (refused ? ReadStatus::NotText : ReadStatus::Ok), "wrong refusal");
    if (refused) {
        require(read.lines.empty(), "lines from a refused file");
        return 0;
    }
    require(read.droppedNulBytes == bytes.size() - text.size(), "wrong count of dropped NUL bytes");

    const bool marked = QTextCodec::codecForUtfText(text, nullptr) != nullptr;
    require(read.readAsWindows1252 == (!marked && !validInLocaleEncoding(text)), "wrong choice of Windows-1252");
    QTextCodec *codec =
        read.readAsWindows1252 ? QTextCodec::codecForName("Windows-1252") : QTextCodec::codecForLocale();
    require(read.lines == readByTextStream(text, codec), "lines differ from the text stream's");
    for (const QString &line : read.lines)
        require(!line.contains(QLatin1Char('\n')), "a line with a line feed");

    if (!wide && !bytes.startsWith(utf8Mark) && survivesWriting(read.lines)) {
        QBuffer written;
        written.open(QIODevice::WriteOnly);
        require(configfile::writeConfiguration(written, read.lines), "write failed");
        require(configfile::readConfiguration(written.data()).lines == read.lines, "written lines read back changed");
    }
    return 0;
}
