#include "support/PtyPair.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace corvanta::test {
namespace {

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

PtyPair::PtyPair() {
    char name[256] = {};
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        return;
    }
    // Raw, or the slave would echo the master's bytes back before the port under test takes over.
    termios tio{};
    if (::tcgetattr(slave, &tio) != 0) {
        error = std::string("tcgetattr: ") + std::strerror(errno);
        ::close(master);
        ::close(slave);
        return;
    }
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    // Non-blocking, so a full line makes WriteMaster fail instead of hanging the test.
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    masterFd = master;
    slaveFd = slave;
    slavePath = name;
}

PtyPair::~PtyPair() {
    CloseMaster();
    if (slaveFd >= 0)
        ::close(slaveFd);
}

std::vector<std::uint8_t> PtyPair::ReadMaster(std::size_t n, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (masterFd >= 0 && got.size() < n) {
        pollfd pfd{masterFd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        std::uint8_t buffer[4096];
        const ssize_t r = ::read(masterFd, buffer, std::min(sizeof buffer, n - got.size()));
        if (r > 0)
            got.insert(got.end(), buffer, buffer + r);
        else if (r < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        else
            break;
    }
    return got;
}

bool PtyPair::WriteMaster(std::span<const std::uint8_t> bytes, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t done = 0;
    while (masterFd >= 0 && done < bytes.size()) {
        const ssize_t w = ::write(masterFd, bytes.data() + done, bytes.size() - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno != EAGAIN)
            return false;
        pollfd pfd{masterFd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, RemainingMs(deadline));
        if (ready == 0)
            return false;
    }
    return masterFd >= 0;
}

std::optional<termios> PtyPair::SlaveTermios() const {
    termios tio{};
    // On Linux the master reports the slave's settings.
    if (masterFd < 0 || ::tcgetattr(masterFd, &tio) != 0)
        return std::nullopt;
    return tio;
}

int PtyPair::SlaveInputQueued() const {
    int queued = 0;
    if (slaveFd < 0 || ::ioctl(slaveFd, FIONREAD, &queued) != 0)
        return -1;
    return queued;
}

void PtyPair::CloseMaster() {
    if (masterFd >= 0)
        ::close(masterFd);
    masterFd = -1;
}

} // namespace corvanta::test
