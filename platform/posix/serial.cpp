#include "platform/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/fdwait.h"
#include "platform/time.h"

namespace qds::plat {

struct CSerialPort::Impl : posix::WakeableFd {
    ~Impl() { Release(); }
    // Gives up the exclusive use before the descriptor goes: TIOCEXCL belongs to the
    // terminal, which may outlive our descriptor (a pseudo-terminal whose master stays open).
    // The lock goes with the descriptor, also when the process ends.
    void Release() {
        if (fd >= 0) ioctl(fd, TIOCNXCL);
        Close();
    }
};

namespace {

bool BaudConstant(uint32_t baud, speed_t* out) {
    static const struct {
        uint32_t baud;
        speed_t value;
    } kRates[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
                  {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
                  {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& r : kRates) {
        if (r.baud == baud) {
            *out = r.value;
            return true;
        }
    }
    return false;
}

}  // namespace

CSerialPort::CSerialPort() : m_impl(new Impl) {}

CSerialPort::~CSerialPort() = default;

bool CSerialPort::Open(const char* path, uint32_t baud) {
    Close();
    m_error = SerialOpenError::None;
    m_errorText.clear();
    speed_t speed;
    if (path == nullptr) return Fail(SerialOpenError::NoSuchDevice, "no path");
    if (!BaudConstant(baud, &speed)) return Fail(SerialOpenError::BaudNotSupported, "");
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        const SerialOpenError kind =
            err == ENOENT || err == ENXIO || err == ENODEV || err == ENOTDIR
                ? SerialOpenError::NoSuchDevice
            : err == EACCES || err == EPERM ? SerialOpenError::PermissionDenied
            : err == EBUSY                  ? SerialOpenError::InUse  // TIOCEXCL of another
                                            : SerialOpenError::Failed;
        return Fail(kind, posix::ErrnoText(err));
    }
    // Exclusive: the lock keeps out other programs that lock too and every other open of this
    // process (each open has its own lock); TIOCEXCL keeps out unprivileged programs that do
    // not lock.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        return Fail(err == EWOULDBLOCK ? SerialOpenError::InUse : SerialOpenError::Failed,
                    posix::ErrnoText(err));
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        close(fd);
        return Fail(SerialOpenError::Failed, posix::ErrnoText(err));
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int err = errno;
        ioctl(fd, TIOCNXCL);
        close(fd);
        return Fail(err == EINVAL ? SerialOpenError::BaudNotSupported : SerialOpenError::Failed,
                    posix::ErrnoText(err));
    }
    m_impl->fd = fd;
    return true;
}

void CSerialPort::Close() {
    m_impl->Release();
}

bool CSerialPort::IsOpen() const {
    return m_impl->IsOpen();
}

uint32_t CSerialPort::OsHandle() const {
    return m_impl->OsWord();
}

int32_t CSerialPort::Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs) {
    return m_impl->Read(posix::FdKind::Stream, buf, size, timeoutMs);
}

int32_t CSerialPort::Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) {
    const int fd = m_impl->fd;
    if (fd < 0 || (data == nullptr && length > 0)) return -1;
    const uint32_t start = TickMs();
    uint32_t done = 0;
    while (done < length) {
        const ssize_t n = write(fd, data + done, length - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return -1;
        const uint32_t elapsed = TickMs() - start;
        if (elapsed >= timeoutMs) return -1;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, static_cast<int>(timeoutMs - elapsed)) <= 0) return -1;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return -1;
    }
    return static_cast<int32_t>(done);
}

void CSerialPort::Purge() {
    if (m_impl->fd >= 0) tcflush(m_impl->fd, TCIOFLUSH);
}

void CSerialPort::Interrupt() {
    m_impl->Wake();
}

std::string SerialPortPath(uint32_t port, const std::string& mapped) {
    if (!mapped.empty()) return mapped;
    return "/dev/ttyS" + std::to_string(port == 0 ? 0 : port - 1);
}

}  // namespace qds::plat
