#include "simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

const std::size_t longestLine = 64;
// An Arduino's serial receive buffer.
const std::size_t receiveBuffer = 64;
const std::size_t longestBacklog = 65536;
// A draining firmware acts once this many bytes wait, and gives up on a terminator after its read time-out.
const std::size_t bytesToAct = 6;
const auto readTimeout = std::chrono::milliseconds(1000);

FlatBox::Filler fillerFrom(const std::string &name)
{
    if (name == "digit")
        return FlatBox::Filler::Digit;
    if (name == "letter")
        return FlatBox::Filler::Letter;
    if (name == "any")
        return FlatBox::Filler::Any;
    return FlatBox::Filler::Classic;
}
const int bitsPerByte = 10;

std::string printable(const std::string &text)
{
    std::string shown;
    for (unsigned char c : text) {
        if (c >= ' ' && c < 0x7f) {
            shown += char(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    return shown;
}

} // namespace

Simulator::Simulator(const SimOptions &options, int stopFd, int inputFd)
    : options(options),
      box(options.productId, int(options.refusedLightOns), fillerFrom(options.filler),
          options.replyEnd == "crlf" ? "\r\n" : "\n"),
      stopFd(stopFd),
      inputFd(inputFd), dropsLeft(options.drops), randomBytes(options.seed), startTime(Clock::now())
{
}

Simulator::~Simulator()
{
    unplug();
    if (logFile)
        std::fclose(logFile);
}

bool Simulator::openLine(std::string &error)
{
    masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd < 0 || grantpt(masterFd) != 0 || unlockpt(masterFd) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char *name = ptsname(masterFd);
    slaveFd = name ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    termios settings{};
    if (slaveFd < 0 || tcgetattr(slaveFd, &settings) != 0) {
        error = std::string("cannot open the pseudo-terminal's device: ") + std::strerror(errno);
        return false;
    }
    // Raw, like a serial line: no echo of the replies back to us, no line editing.
    cfmakeraw(&settings);
    cfsetspeed(&settings, B9600);
    if (tcsetattr(slaveFd, TCSANOW, &settings) != 0
        || fcntl(masterFd, F_SETFL, fcntl(masterFd, F_GETFL) | O_NONBLOCK) != 0) {
        error = std::string("cannot set up the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    slavePath = name;
    watchOpens();
    return true;
}

// A client's open of the pty shows up as an inotify event on its device file. Without inotify the
// first byte stands for the open.
void Simulator::watchOpens()
{
    inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd >= 0 && inotify_add_watch(inotifyFd, slavePath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        close(inotifyFd);
        inotifyFd = -1;
    }
}

void Simulator::handleOpens()
{
    alignas(inotify_event) char buffer[4096];
    const ssize_t count = read(inotifyFd, buffer, sizeof buffer);
    for (ssize_t offset = 0; offset + ssize_t(sizeof(inotify_event)) <= count;) {
        const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
        if (event->mask & IN_OPEN)
            portOpened(Clock::now());
        if (event->mask & IN_CLOSE)
            clients = std::max(0, clients - 1);
        offset += ssize_t(sizeof(inotify_event) + event->len);
    }
}

// Opening the port pulses DTR, which resets the board: its state is gone, the boot loader is deaf
// for a while, then the firmware starts up and reads.
void Simulator::portOpened(Clock::time_point now)
{
    ++clients;
    opened = true;
    box.reset(int(options.litAtBoot));
    held.clear();
    heldAt.clear();
    pending.clear();
    pendingTooLong = false;
    deafLine.clear();
    reading = false;
    due.clear();
    bootEnd = now + std::chrono::milliseconds(options.bootDelayMs);
    readyAt = bootEnd + std::chrono::milliseconds(options.startupWaitMs);
}

bool Simulator::openLog(std::string &error)
{
    if (options.logPath.empty())
        return true;
    logFile = std::fopen(options.logPath.c_str(), "w");
    if (!logFile) {
        error = "cannot write the log " + options.logPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void Simulator::logLine(const std::string &line, const char *note)
{
    if (!logFile)
        return;
    const double seconds = std::chrono::duration<double>(Clock::now() - startTime).count();
    std::fprintf(logFile, "%.6f %s%s\n", seconds, printable(line).c_str(), note);
    std::fflush(logFile);
}

void Simulator::handleControlInput(int fd)
{
    char buffer[256];
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (fd == stopFd || count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR))
        stopping = true;
}

// Waits for the control descriptors and, when masterEvents is set, the line. Returns false
// when the simulator must stop.
bool Simulator::pollOnce(const Clock::time_point *deadline, short masterEvents, short *masterReady)
{
    pollfd fds[4];
    nfds_t count = 0;
    fds[count++] = {stopFd, POLLIN, 0};
    if (inputFd >= 0)
        fds[count++] = {inputFd, POLLIN, 0};
    const nfds_t opensIndex = count;
    if (inotifyFd >= 0)
        fds[count++] = {inotifyFd, POLLIN, 0};
    const nfds_t masterIndex = count;
    if (masterFd >= 0 && masterEvents != 0)
        fds[count++] = {masterFd, masterEvents, 0};

    timespec timeout{};
    if (deadline) {
        const auto left = std::max(*deadline - Clock::now(), Clock::duration::zero());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout.tv_sec = time_t(ns / 1000000000);
        timeout.tv_nsec = long(ns % 1000000000);
    }
    const int ready = ppoll(fds, count, deadline ? &timeout : nullptr, nullptr);
    if (ready < 0) {
        if (errno != EINTR)
            stopping = true;
        return !stopping;
    }
    for (nfds_t i = 0; i < masterIndex; ++i) {
        if (fds[i].revents != 0 && i == opensIndex && inotifyFd >= 0)
            handleOpens();
        else if (fds[i].revents != 0)
            handleControlInput(fds[i].fd);
    }
    if (masterReady)
        *masterReady = masterIndex < count ? fds[masterIndex].revents : 0;
    return !stopping;
}

bool Simulator::waitUntil(Clock::time_point deadline)
{
    while (Clock::now() < deadline) {
        if (!pollOnce(&deadline, 0, nullptr))
            return false;
    }
    return true;
}

bool Simulator::writeAll(const char *data, std::size_t size)
{
    while (size > 0 && masterFd >= 0) {
        const ssize_t written = write(masterFd, data, size);
        if (written > 0) {
            data += written;
            size -= std::size_t(written);
        } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (!pollOnce(nullptr, POLLOUT, nullptr)) {
            return false;
        }
    }
    return size == 0;
}

void Simulator::run()
{
    while (!stopping) {
        short masterReady = 0;
        if (!pollOnce(nextWake(), masterFd >= 0 ? POLLIN : 0, &masterReady))
            break;
        if (masterReady & POLLIN)
            readFromLine();
        serviceFirmware(Clock::now());
        sendDue(Clock::now());
        if (masterReady & (POLLHUP | POLLERR)) {
            // Not expected while we hold the slave side; never spin on it.
            waitUntil(Clock::now() + std::chrono::milliseconds(20));
        }
    }
}

void Simulator::readFromLine()
{
    char buffer[4096];
    const ssize_t count = read(masterFd, buffer, sizeof buffer);
    const Clock::time_point now = Clock::now();
    for (ssize_t i = 0; i < count && masterFd >= 0 && !stopping; ++i)
        takeByte(buffer[i], now);
    // At once: bytes that came with a command, after its terminator, are not waiting yet.
    serviceFirmware(now);
}

// When the firmware has something to do next without new input: the end of its start-up wait,
// or the read time-out of a draining read.
const Simulator::Clock::time_point *Simulator::nextWake()
{
    bool any = false;
    const auto consider = [&](Clock::time_point when) {
        wake = any ? std::min(wake, when) : when;
        any = true;
    };
    if (reading)
        consider(readStart + readTimeout);
    if (opened && !held.empty() && Clock::now() < readyAt)
        consider(readyAt);
    if (!due.empty())
        consider(due.front().first);
    return any ? &wake : nullptr;
}

// Input passes the boot loader (which drops it) into the firmware's receive buffer.
void Simulator::takeByte(char byte, Clock::time_point now)
{
    if (!opened)
        portOpened(now);
    if (now < bootEnd) {
        if (byte == '\n' || byte == '\r') {
            if (!deafLine.empty())
                logLine(deafLine, " (booting)");
            deafLine.clear();
        } else if (deafLine.size() < longestLine) {
            deafLine += byte;
        }
        return;
    }
    if (!options.drain && now >= readyAt && held.empty()) {
        lineByte(byte, now);
        return;
    }
    // A board with native USB holds the host back while its firmware does not read: nothing is lost.
    const bool keepsAll = options.nativeUsb && now < readyAt && held.size() < longestBacklog;
    if (held.size() < receiveBuffer || keepsAll) {
        held += byte;
        heldAt.push_back(now);
    }
}

bool Simulator::endsCommand(char byte) const
{
    if (options.terminator == "lf")
        return byte == '\n';
    if (options.terminator == "cr")
        return byte == '\r';
    return byte == '\n' || byte == '\r';
}

// A firmware that reads line by line and trims the line, so that the other terminator does no harm.
void Simulator::lineByte(char byte, Clock::time_point now)
{
    if (!endsCommand(byte)) {
        if (pending.empty())
            pendingSince = now;
        if (pending.size() < longestLine)
            pending += byte;
        else
            pendingTooLong = true;
        return;
    }
    std::string line = pending;
    const bool tooLong = pendingTooLong;
    pending.clear();
    pendingTooLong = false;
    const std::size_t wireBytes = line.size() + 1;
    const auto first = line.find_first_not_of("\r\n");
    line = first == std::string::npos ? std::string() : line.substr(first);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    if (line.empty())
        return; // the second half of "\r\n", or an empty line
    if (tooLong)
        logLine(line, " (too long)");
    else
        handleLine(line, wireBytes, pendingSince);
}

void Simulator::serviceFirmware(Clock::time_point now)
{
    if (!opened || now < readyAt)
        return;
    if (!options.drain) {
        const std::string kept = held;
        held.clear();
        heldAt.clear();
        for (char byte : kept)
            lineByte(byte, now);
        return;
    }
    drainingRead(now);
}

// The firmwares that wait for six bytes, read one command up to their terminator (or until their
// read time-out), reply and throw away whatever else is waiting.
void Simulator::drainingRead(Clock::time_point now)
{
    while (masterFd >= 0 && !stopping) {
        if (!reading) {
            if (held.size() < bytesToAct)
                return;
            reading = true;
            readStart = now;
        }
        std::size_t end = 0;
        while (end < held.size() && !endsCommand(held[end]))
            ++end;
        if (end == held.size() && now < readStart + readTimeout)
            return;
        const std::string text = held.substr(0, end);
        const std::size_t taken = std::min(held.size(), end + 1);
        held.erase(0, taken);
        heldAt.erase(heldAt.begin(), heldAt.begin() + std::ptrdiff_t(taken));
        reading = false;
        const std::string command = commandIn(text);
        // What is waiting goes; bytes written with the command but after its terminator are still
        // on the line (a byte takes a millisecond at 9600 baud) and stay.
        std::size_t waiting = 0;
        while (waiting < heldAt.size() && heldAt[waiting] < now)
            ++waiting;
        if (waiting > 0)
            logLine(held.substr(0, waiting), " (drained)");
        held.erase(0, waiting);
        heldAt.erase(heldAt.begin(), heldAt.begin() + std::ptrdiff_t(waiting));
        if (command.empty())
            logLine(text, " (not a command)");
        else
            handleLine(command, text.size() + 1, readStart);
    }
}

// The command at the front of what a firmware read: a "\r" or "\n" after it does no harm,
// anything before it does.
std::string Simulator::commandIn(const std::string &text) const
{
    if (text.size() < 5 || !box.isCommand(text.substr(0, 5)))
        return std::string();
    if (text.size() > 5 && text[5] != '\r' && text[5] != '\n')
        return std::string();
    return text.substr(0, 5);
}

void Simulator::handleLine(const std::string &line, std::size_t wireBytes, Clock::time_point arrival)
{
    if (!box.isCommand(line.substr(0, 5)) || (line.size() > 5 && line[5] != '\r' && line[5] != '\n')) {
        logLine(line, " (not a command)");
        return;
    }
    ++commandCount;
    if (options.silentAfter >= 0 && commandCount > options.silentAfter) {
        logLine(line, " (silent)");
        return;
    }
    const std::string command = line.substr(0, 5);
    const bool faulty = commandCount > options.faultsAfter;
    long &drops = dropsLeft[command[1]];
    if (faulty && drops > 0) {
        --drops;
        logLine(command, " (dropped)");
        return;
    }
    logLine(command, "");
    const auto letterLatency = options.latencyFor.find(command[1]);
    long latencyMs = faulty ? options.replyLatencyMs : 0;
    if (faulty && letterLatency != options.latencyFor.end())
        latencyMs = letterLatency->second;
    std::string reply = box.answer(command);
    if (!reply.empty()) {
        if (commandCount > options.faultsAfter)
            reply = withFaults(reply);
        if (options.unplugMidReply >= 0 && commandCount > options.unplugMidReply) {
            deliver(reply.substr(0, reply.size() / 2), wireBytes, arrival, latencyMs);
            awaitClientRead();
            unplug();
            return;
        }
        deliver(reply, wireBytes, arrival, latencyMs);
    }
    if (options.unplugAfter >= 0 && commandCount >= options.unplugAfter) {
        awaitClientRead();
        unplug();
    }
}

// A hang-up throws away what the client has not read yet. Before an unplug the client gets
// the chance to read what was sent, so that it sees the reply (or half of it) go by.
void Simulator::awaitClientRead()
{
    const auto pendingBytes = [this] {
        int count = 0;
        return slaveFd >= 0 && ioctl(slaveFd, FIONREAD, &count) == 0 ? count : 0;
    };
    const auto step = std::chrono::milliseconds(1);
    // Written bytes reach the slave side a moment later.
    const auto arrivalLimit = Clock::now() + std::chrono::milliseconds(50);
    while (pendingBytes() == 0 && Clock::now() < arrivalLimit && waitUntil(Clock::now() + step)) {
    }
    const auto readLimit = Clock::now() + std::chrono::seconds(2);
    while (pendingBytes() > 0 && Clock::now() < readLimit && waitUntil(Clock::now() + step)) {
    }
}

std::string Simulator::withFaults(const std::string &reply)
{
    std::string faulty = reply;
    if (options.garbage)
        faulty = garbled(faulty);
    if (options.randomBytes) {
        std::uniform_int_distribution<int> length(1, 48);
        std::uniform_int_distribution<int> byte(0, 255);
        faulty.assign(std::size_t(length(randomBytes)), '\0');
        for (char &c : faulty)
            c = char(byte(randomBytes));
    }
    if (options.overlong > 0)
        faulty = faulty.substr(0, 4) + std::string(std::size_t(options.overlong), '0') + '\n';
    ++faultCount;
    return faulty;
}

// Malformed replies, a different fault each time.
std::string Simulator::garbled(const std::string &reply)
{
    std::string bad = reply;
    switch (faultCount % 6) {
    case 0:
        bad[1] = 'X'; // a letter that answers no command
        break;
    case 1:
        bad.replace(2, 2, "AB"); // product id not a number
        break;
    case 2:
        bad[0] = '#';
        break;
    case 3:
        bad = reply.substr(0, 3) + '\n'; // too short
        break;
    case 4:
        bad.replace(4, 3, "\x01\x02\x03");
        break;
    default:
        bad = std::string("\xff\xfe\x80\x00\x1b[m\n", 8);
        break;
    }
    return bad;
}

Simulator::Clock::duration Simulator::lineTime(std::size_t bytes) const
{
    if (options.lineRate <= 0)
        return Clock::duration::zero();
    const double seconds = double(bytes) * bitsPerByte / double(options.lineRate);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// On a modelled line the reply is complete only after the command and the reply have both
// crossed it, byte by byte.
void Simulator::deliver(const std::string &reply, std::size_t commandBytes, Clock::time_point arrival,
                        long latencyMs)
{
    // Replies queue on the line: a burst of answers to kept commands goes out one after the other.
    const Clock::time_point ready = std::max(arrival + lineTime(commandBytes + reply.size()),
                                             lineFreeAt + lineTime(reply.size()));
    lineFreeAt = ready;
    // A late reply leaves the box free to read on meanwhile.
    if (latencyMs > 0) {
        due.emplace_back(ready + std::chrono::milliseconds(latencyMs), reply);
        std::stable_sort(due.begin(), due.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        return;
    }
    if (waitUntil(ready))
        writeReply(reply);
}

void Simulator::sendDue(Clock::time_point now)
{
    while (!due.empty() && due.front().first <= now && masterFd >= 0) {
        const std::string reply = due.front().second;
        due.pop_front();
        writeReply(reply);
    }
}

bool Simulator::writeReply(const std::string &reply)
{
    // Boards with native USB send only while DTR is up, that is while a client holds the port.
    if (options.dtrGated && inotifyFd >= 0 && clients == 0)
        return true;
    if (options.strayBeforeReply && !writeAll("\0\r\n", 3))
        return false;
    if (!options.splitReplies)
        return writeAll(reply.data(), reply.size());
    for (std::size_t i = 0; i < reply.size() && !stopping; ++i) {
        if (i > 0 && !waitUntil(Clock::now() + std::chrono::milliseconds(options.splitGapMs)))
            return false;
        if (!writeAll(reply.data() + i, 1))
            return false;
    }
    return true;
}

// Like pulling the USB cable: the device disappears and its users see a hang-up.
void Simulator::unplug()
{
    if (inotifyFd >= 0)
        close(inotifyFd);
    inotifyFd = -1;
    if (slaveFd >= 0)
        close(slaveFd);
    if (masterFd >= 0)
        close(masterFd);
    slaveFd = masterFd = -1;
}
