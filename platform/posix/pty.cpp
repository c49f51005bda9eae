#include "platform/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/fdwait.h"

namespace qds::plat {

CPtyMaster::CPtyMaster() {
    posix::MakeWakePipe(m_wake);
}

CPtyMaster::~CPtyMaster() {
    Close();
    posix::CloseWakePipe(m_wake);
}

bool CPtyMaster::Open() {
    Close();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return false;
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        close(master);
        return false;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        close(master);
        return false;
    }
    // Raw from the start, so nothing is echoed before the client sets its own mode.
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    m_slave = slave;
    m_slavePath = name;
    return true;
}

void CPtyMaster::Close() {
    if (m_master >= 0) close(m_master);
    if (m_slave >= 0) close(m_slave);
    m_master = m_slave = -1;
}

bool CPtyMaster::IsOpen() const {
    return m_master >= 0;
}

const std::string& CPtyMaster::SlavePath() const {
    return m_slavePath;
}

int32_t CPtyMaster::Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs) {
    if (m_master < 0 || buf == nullptr) return -1;
    switch (posix::WaitFd(m_master, POLLIN, m_wake, timeoutMs)) {
        case posix::FdWait::Timeout:
        case posix::FdWait::Woken:
            return 0;
        case posix::FdWait::Failed:
            return -1;
        case posix::FdWait::Ready:
            break;
    }
    const ssize_t n = read(m_master, buf, size);
    if (n > 0) return static_cast<int32_t>(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    return -1;
}

int32_t CPtyMaster::Write(const uint8_t* data, uint32_t length) {
    if (m_master < 0 || (data == nullptr && length > 0)) return -1;
    uint32_t done = 0;
    while (done < length) {
        const ssize_t n = write(m_master, data + done, length - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{m_master, POLLOUT, 0};
            if (poll(&p, 1, 1000) <= 0) return -1;
        } else if (!(n < 0 && errno == EINTR)) {
            return -1;
        }
    }
    return static_cast<int32_t>(done);
}

void CPtyMaster::Interrupt() {
    posix::WakeUp(m_wake);
}

bool ReplaceSymlink(const std::string& target, const std::string& link) {
    const std::string tmp = link + ".tmp";
    unlink(tmp.c_str());
    if (symlink(target.c_str(), tmp.c_str()) != 0) return false;
    return rename(tmp.c_str(), link.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

}  // namespace qds::plat
