#include "SimulatedModule.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

#include "protocol/LineSettings.h"

namespace corvanta::sim {
namespace {

// How long a reply may wait for room on the line before the rest is dropped,
// as a real UART would drop it when nobody reads.
constexpr int kWriteStallMs = 1000;

struct LineSetting {
    std::uint32_t baud = 0;
    std::uint8_t parity = 0;
    bool operator==(const LineSetting &) const = default;
};

std::string Describe(const LineSetting &line) {
    return std::to_string(line.baud) + " " + std::string(ParityName(line.parity));
}

std::string Hex(const std::uint8_t *data, std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0)
            text += ' ';
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0x0F];
    }
    return text;
}

std::string ErrnoText(const char *what) { return std::string(what) + ": " + std::strerror(errno); }

void CloseFd(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Waits for events on fd, or for the wake descriptor. 1: fd ready; 0: timed
// out; -1: woken (stop) or failed.
int WaitFor(int fd, short events, int wakeFd, int timeoutMs) {
    pollfd pfds[2] = {{wakeFd, POLLIN, 0}, {fd, events, 0}};
    const int count = fd >= 0 ? 2 : 1;
    for (;;) {
        const int ready = ::poll(pfds, static_cast<nfds_t>(count), timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || pfds[0].revents != 0)
            return -1;
        return ready == 0 ? 0 : 1;
    }
}

} // namespace

std::uint32_t RateOfSpeed(speed_t speed) {
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

bool ReadPeerLine(int masterFd, std::uint32_t &baud, std::uint8_t &parity) {
    termios tio{};
    if (::tcgetattr(masterFd, &tio) != 0)
        return false;
    baud = RateOfSpeed(::cfgetospeed(&tio));
    if ((tio.c_iflag & INPCK) == 0)
        parity = ParityNone;
    else
        parity = (tio.c_cflag & PARODD) != 0 ? ParityOdd : ParityEven;
    return true;
}

SimulatedModule::SimulatedModule(SimOptions opts) : options(std::move(opts)), state(options.state) {}

SimulatedModule::~SimulatedModule() { Stop(); }

bool SimulatedModule::Start(std::string *error) {
    auto fail = [&](const std::string &why) {
        CloseFd(inotifyFd);
        CloseFd(wakeFd);
        CloseFd(slaveFd);
        CloseFd(masterFd);
        devicePath.clear();
        if (error != nullptr)
            *error = why;
        return false;
    };
    if (worker.joinable())
        return fail("the module is already running");
    {
        std::lock_guard lock(stateLock);
        if (!IsSupportedBaudRate(state.baud) || state.parity > ParityEven)
            return fail("unsupported UART setting " + std::to_string(state.baud) + " baud, parity code " +
                        std::to_string(state.parity));
    }

    masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd < 0)
        return fail(ErrnoText("posix_openpt"));
    if (::grantpt(masterFd) != 0)
        return fail(ErrnoText("grantpt"));
    if (::unlockpt(masterFd) != 0)
        return fail(ErrnoText("unlockpt"));
    char name[128];
    if (::ptsname_r(masterFd, name, sizeof name) != 0)
        return fail(ErrnoText("ptsname_r"));
    devicePath = name;

    slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd < 0)
        return fail(ErrnoText(name));
    termios tio{};
    if (::tcgetattr(slaveFd, &tio) != 0)
        return fail(ErrnoText("tcgetattr"));
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(slaveFd, TCSANOW, &tio) != 0)
        return fail(ErrnoText("tcsetattr"));

    const int flags = ::fcntl(masterFd, F_GETFL);
    if (flags < 0 || ::fcntl(masterFd, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail(ErrnoText("fcntl"));

    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0)
        return fail(ErrnoText("eventfd"));

    // Our own slave descriptor keeps the tty open, so an exclusive flag left
    // by a client that did not clear it (killed, or another program) would
    // lock out every later non-root client. Its close tells us to clear it.
    inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0)
        return fail(ErrnoText("inotify_init1"));
    if (::inotify_add_watch(inotifyFd, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        return fail(ErrnoText("inotify_add_watch"));

    try {
        worker = std::thread([this] { Run(); });
    } catch (const std::system_error &e) {
        return fail(e.what());
    }
    return true;
}

void SimulatedModule::Stop() {
    if (worker.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
        worker.join();
    }
    CloseFd(inotifyFd);
    CloseFd(wakeFd);
    CloseFd(slaveFd);
    CloseFd(masterFd);
}

ModuleState SimulatedModule::State() const {
    std::lock_guard lock(stateLock);
    return state;
}

void SimulatedModule::Log(const std::string &line) {
    if (options.log != nullptr)
        *options.log << line << std::endl;
}

bool SimulatedModule::WriteAll(const std::vector<std::uint8_t> &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(masterFd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            Log(ErrnoText("write"));
            return false;
        }
        const int ready = WaitFor(masterFd, POLLOUT, wakeFd, kWriteStallMs);
        if (ready < 0)
            return false;
        if (ready == 0) {
            Log("nobody reads the line: dropped " + std::to_string(bytes.size() - done) + " bytes of the reply");
            return false;
        }
    }
    return true;
}

void SimulatedModule::Run() {
    RequestParser parser;
    std::uint8_t buffer[1024];

    for (;;) {
        pollfd pfds[3] = {{wakeFd, POLLIN, 0}, {masterFd, POLLIN, 0}, {inotifyFd, POLLIN, 0}};
        const int ready = ::poll(pfds, 3, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            Log(ErrnoText("poll"));
            return;
        }
        if (pfds[0].revents != 0)
            return;

        if (pfds[2].revents & POLLIN) {
            alignas(inotify_event) char events[4096];
            while (::read(inotifyFd, events, sizeof events) > 0) {
            }
            // The closer set the flag, or was root and never stopped by it; a
            // client still open keeps its flock.
            ::ioctl(slaveFd, TIOCNXCL);
        }

        if (pfds[1].revents & (POLLERR | POLLNVAL | POLLHUP) && !(pfds[1].revents & POLLIN)) {
            Log("the pty failed; the module stops");
            return;
        }
        if (!(pfds[1].revents & POLLIN))
            continue;

        const ssize_t count = ::read(masterFd, buffer, sizeof buffer);
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (count <= 0) {
            Log(count == 0 ? std::string("the pty closed; the module stops") : ErrnoText("read"));
            return;
        }

        LineSetting peer;
        if (!ReadPeerLine(masterFd, peer.baud, peer.parity)) {
            Log(ErrnoText("tcgetattr"));
            return;
        }
        LineSetting uart;
        {
            std::lock_guard lock(stateLock);
            uart = {state.baud, state.parity};
        }
        if (!(peer == uart)) {
            parser.Reset();
            Log("dropped " + std::to_string(count) + " bytes: line is " + Describe(peer) + ", module is " +
                Describe(uart));
            continue;
        }
        for (ssize_t i = 0; i < count; ++i) {
            const auto request = parser.Feed(buffer[i]);
            if (!request)
                continue;
            ++heard;
            Log("rx " + Hex(request->data(), request->size()));
            if (options.silent)
                continue;
            std::optional<Answer> answer;
            {
                std::lock_guard lock(stateLock);
                // A faulty module acknowledges writes without applying them: answer from a scratch copy.
                ModuleState scratch = state;
                answer = AnswerRequest(options.ignoreWrites ? scratch : state, *request);
                if (answer && options.ignoreWrites) {
                    answer->newBaud.reset();
                    answer->newParity.reset();
                }
            }
            if (!answer) {
                Log("no answer");
                continue;
            }
            if (options.replyDelayMs > 0 && WaitFor(-1, 0, wakeFd, options.replyDelayMs) < 0)
                return;
            LineSetting now;
            if (!ReadPeerLine(masterFd, now.baud, now.parity) || !(now == uart)) {
                Log("reply dropped: line is now " + Describe(now) + ", module is " + Describe(uart));
            } else if (WriteAll(answer->reply)) {
                ++answered;
                Log("tx " + Hex(answer->reply.data(), answer->reply.size()));
            }
            // The module switches whether or not anybody heard the reply.
            const LineSetting next{answer->newBaud.value_or(uart.baud), answer->newParity.value_or(uart.parity)};
            if (!(next == uart)) {
                {
                    std::lock_guard lock(stateLock);
                    state.baud = next.baud;
                    state.parity = next.parity;
                }
                Log("uart switched from " + Describe(uart) + " to " + Describe(next));
                uart = next;
                // Whatever followed the request in this chunk was sent at the old setting.
                parser.Reset();
                break;
            }
        }
    }
}

} // namespace corvanta::sim
