#include "simulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

const std::size_t longestLine = 64;
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
    : options(options), box(options.productId, int(options.refusedLightOns)), stopFd(stopFd),
      inputFd(inputFd), randomBytes(options.seed), startTime(Clock::now())
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
    return true;
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
    pollfd fds[3];
    nfds_t count = 0;
    fds[count++] = {stopFd, POLLIN, 0};
    if (inputFd >= 0)
        fds[count++] = {inputFd, POLLIN, 0};
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
        if (fds[i].revents != 0)
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
        if (!pollOnce(nullptr, masterFd >= 0 ? POLLIN : 0, &masterReady))
            break;
        if (masterReady & POLLIN)
            readFromLine();
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
}

// An Arduino resets when its port opens and hears nothing until its boot loader is done.
void Simulator::takeByte(char byte, Clock::time_point now)
{
    if (options.bootDelayMs > 0 && !bootDone) {
        if (!booting) {
            booting = true;
            bootEnd = now + std::chrono::milliseconds(options.bootDelayMs);
        }
        if (now < bootEnd) {
            if (byte == '\n' || byte == '\r') {
                logLine(pending, " (booting)");
                pending.clear();
            } else if (pending.size() < longestLine) {
                pending += byte;
            }
            return;
        }
        bootDone = true;
        pending.clear();
    }
    if (byte != '\n' && byte != '\r') {
        if (pending.empty())
            pendingSince = now;
        if (pending.size() < longestLine)
            pending += byte;
        else
            pendingTooLong = true;
        return;
    }
    if (pending.empty())
        return; // the second half of "\r\n", or an empty line
    const std::string line = pending;
    const bool tooLong = pendingTooLong;
    pending.clear();
    pendingTooLong = false;
    if (tooLong)
        logLine(line, " (too long)");
    else
        handleLine(line, line.size() + 1, pendingSince);
}

void Simulator::handleLine(const std::string &line, std::size_t wireBytes, Clock::time_point arrival)
{
    if (!FlatBox::isCommand(line)) {
        logLine(line, " (not a command)");
        return;
    }
    ++commandCount;
    if (options.silentAfter >= 0 && commandCount > options.silentAfter) {
        logLine(line, " (silent)");
        return;
    }
    logLine(line, "");
    std::string reply = box.answer(line);
    if (!reply.empty()) {
        if (commandCount > options.faultsAfter)
            reply = withFaults(reply);
        if (options.unplugMidReply >= 0 && commandCount > options.unplugMidReply) {
            deliver(reply.substr(0, reply.size() / 2), wireBytes, arrival);
            awaitClientRead();
            unplug();
            return;
        }
        deliver(reply, wireBytes, arrival);
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
void Simulator::deliver(const std::string &reply, std::size_t commandBytes, Clock::time_point arrival)
{
    if (!waitUntil(arrival + lineTime(commandBytes + reply.size())))
        return;
    if (!options.splitReplies) {
        writeAll(reply.data(), reply.size());
        return;
    }
    for (std::size_t i = 0; i < reply.size() && !stopping; ++i) {
        if (i > 0 && !waitUntil(Clock::now() + std::chrono::milliseconds(options.splitGapMs)))
            return;
        if (!writeAll(reply.data() + i, 1))
            return;
    }
}

// Like pulling the USB cable: the device disappears and its users see a hang-up.
void Simulator::unplug()
{
    if (slaveFd >= 0)
        close(slaveFd);
    if (masterFd >= 0)
        close(masterFd);
    slaveFd = masterFd = -1;
}
