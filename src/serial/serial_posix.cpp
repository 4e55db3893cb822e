// POSIX backend: termios, poll and an eventfd to wake the receive thread.

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "serial_platform.h"

namespace corvanta::platform {

struct Port {
    int fd = -1;
    int wakeFd = -1;
};

namespace {

// The one place where errno becomes an error kind.
SerialError FromErrno(int code, const std::string &what) {
    SerialErrorKind kind = SerialErrorKind::Io;
    switch (code) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        kind = SerialErrorKind::NotFound;
        break;
    case EACCES:
    case EPERM:
        kind = SerialErrorKind::PermissionDenied;
        break;
    case EBUSY:
    case EWOULDBLOCK:
        kind = SerialErrorKind::Busy;
        break;
    case EINVAL:
        kind = SerialErrorKind::InvalidArgument;
        break;
    case ENOTTY:
        kind = SerialErrorKind::Unsupported;
        break;
    case EIO:
    case EPIPE:
        kind = SerialErrorKind::Lost;
        break;
    default:
        break;
    }
    return {kind, code, what + ": " + std::strerror(code)};
}

// An error on an open descriptor that means the device is gone.
bool DeviceGone(int code) { return code == EIO || code == ENXIO || code == ENODEV || code == EPIPE; }

speed_t SpeedConstant(std::uint32_t baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B0;
    }
}

// Turn off all fancy termios tricks, give us a raw 8-bit channel.
void MakeRaw(termios &tio) {
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                          IXANY | INPCK | IGNPAR | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

// A pseudo-terminal drops PARENB, and glibc then reports EINVAL although the
// kernel took the rest: the rate, the data bits, and parity by PARODD and INPCK.
bool TookAllButParityEnable(int fd, const termios &wanted) {
    termios now{};
    if (::tcgetattr(fd, &now) != 0)
        return false;
    const tcflag_t cflags = CSIZE | PARODD | CSTOPB | CLOCAL | CREAD;
    return (now.c_cflag & cflags) == (wanted.c_cflag & cflags) && now.c_iflag == wanted.c_iflag &&
           ::cfgetospeed(&now) == ::cfgetospeed(&wanted);
}

void CloseQuietly(int fd) {
    if (fd >= 0)
        ::close(fd);
}

} // namespace

void PortCloser::operator()(Port *port) const noexcept {
    // Another holder of the tty (a simulator keeping its slave open) would otherwise keep it exclusive.
    if (port->fd >= 0)
        ::ioctl(port->fd, TIOCNXCL);
    CloseQuietly(port->fd);
    CloseQuietly(port->wakeFd);
    delete port;
}

PortPtr Open(const std::string &device, SerialError &error) {
    PortPtr port(new Port);
    port->fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port->fd < 0) {
        error = FromErrno(errno, device);
        return nullptr;
    }
    // Lines up before anything else: opening a tty raises DTR and RTS, which resets many boards.
    // A pseudo-terminal has no modem lines; that is no error.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(port->fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL && errno != ENOTSUP) {
        error = FromErrno(errno, device);
        return nullptr;
    }
    termios tio{};
    if (::tcgetattr(port->fd, &tio) != 0) {
        error = FromErrno(errno, device);
        return nullptr;
    }
    // TIOCEXCL keeps out other openers (but not root); the lock keeps out every cooperating program.
    ::ioctl(port->fd, TIOCEXCL);
    if (::flock(port->fd, LOCK_EX | LOCK_NB) != 0) {
        error = FromErrno(errno == EWOULDBLOCK ? EBUSY : errno, device);
        return nullptr;
    }
    MakeRaw(tio);
    if (::tcsetattr(port->fd, TCSANOW, &tio) != 0) {
        error = FromErrno(errno, device);
        return nullptr;
    }
    ::tcflush(port->fd, TCIOFLUSH);
    port->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (port->wakeFd < 0) {
        error = FromErrno(errno, "eventfd");
        return nullptr;
    }
    return port;
}

bool Configure(Port &port, std::uint32_t baud, std::uint32_t parity, SerialError &error) {
    const speed_t speed = SpeedConstant(baud);
    if (speed == B0 || parity > 2) {
        error = FromErrno(EINVAL, "line settings");
        return false;
    }
    termios tio{};
    if (::tcgetattr(port.fd, &tio) != 0) {
        error = FromErrno(errno, "tcgetattr");
        return false;
    }
    MakeRaw(tio);
    if (parity != 0) {
        tio.c_cflag |= PARENB;
        if (parity == 1)
            tio.c_cflag |= PARODD;
        // Check parity on input; without PARMRK a bad byte reads as 0 instead of being doubled into escapes.
        tio.c_iflag |= INPCK;
    }
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(port.fd, TCSANOW, &tio) != 0 && !(errno == EINVAL && TookAllButParityEnable(port.fd, tio))) {
        error = FromErrno(errno, "tcsetattr");
        return false;
    }
    return true;
}

long WriteSome(Port &port, const std::uint8_t *data, std::size_t count, int timeoutMs, SerialError &error) {
    if (count == 0)
        return 0;
    for (;;) {
        const ssize_t n = ::write(port.fd, data, count);
        if (n > 0)
            return static_cast<long>(n);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            error = FromErrno(errno, "write");
            return -1;
        }
        pollfd pfd{port.fd, POLLOUT, 0};
        int ready;
        do
            ready = ::poll(&pfd, 1, timeoutMs);
        while (ready < 0 && errno == EINTR);
        if (ready < 0) {
            error = FromErrno(errno, "poll");
            return -1;
        }
        if (ready == 0)
            return 0;
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            error = FromErrno(EIO, "write");
            return -1;
        }
    }
}

void DiscardOutput(Port &port) { ::tcflush(port.fd, TCOFLUSH); }

namespace {

// The device went away under an open descriptor: lost, whatever errno calls it.
ReadResult Gone(int code, const char *what, SerialError &error) {
    error = FromErrno(code, what);
    error.kind = SerialErrorKind::Lost;
    return {ReadStatus::Lost, 0};
}

} // namespace

ReadResult WaitAndRead(Port &port, std::uint8_t *buffer, std::size_t capacity, SerialError &error) {
    for (;;) {
        pollfd pfds[2] = {{port.wakeFd, POLLIN, 0}, {port.fd, POLLIN, 0}};
        const int ready = ::poll(pfds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            error = FromErrno(errno, "poll");
            return {ReadStatus::Failed, 0};
        }
        // A stop request wins over pending data.
        if (pfds[0].revents != 0)
            return {ReadStatus::Stopped, 0};
        if (pfds[1].revents & POLLIN) {
            const ssize_t n = ::read(port.fd, buffer, capacity);
            if (n > 0)
                return {ReadStatus::Data, static_cast<std::size_t>(n)};
            if (n == 0)
                return Gone(EIO, "read: end of file", error);
            if (errno == EINTR || errno == EAGAIN)
                continue;
            if (DeviceGone(errno))
                return Gone(errno, "read", error);
            error = FromErrno(errno, "read");
            return {ReadStatus::Failed, 0};
        }
        if (pfds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
            return Gone(EIO, "hang-up", error);
    }
}

void Wake(Port &port) {
    const std::uint64_t one = 1;
    // The counter only needs to be nonzero; a full counter is as good as a write.
    [[maybe_unused]] const ssize_t n = ::write(port.wakeFd, &one, sizeof one);
}

} // namespace corvanta::platform
