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

// The master is the descriptor that reads wait on; the slave is held open beside it.
struct CPtyMaster::Impl : posix::WakeableFd {
    int slave = -1;
    std::string slavePath;

    ~Impl() {
        Close();  // the master first, as Close does
        CloseSlave();
    }
    void CloseSlave() {
        if (slave >= 0) close(slave);
        slave = -1;
    }
};

CPtyMaster::CPtyMaster() : m_impl(new Impl) {}

CPtyMaster::~CPtyMaster() = default;

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
    m_impl->fd = master;
    m_impl->slave = slave;
    m_impl->slavePath = name;
    return true;
}

void CPtyMaster::Close() {
    m_impl->Close();
    m_impl->CloseSlave();
}

bool CPtyMaster::IsOpen() const {
    return m_impl->IsOpen();
}

const std::string& CPtyMaster::SlavePath() const {
    return m_impl->slavePath;
}

int32_t CPtyMaster::Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs) {
    return m_impl->Read(posix::FdKind::Stream, buf, size, timeoutMs);
}

int32_t CPtyMaster::Write(const uint8_t* data, uint32_t length) {
    const int master = m_impl->fd;
    if (master < 0 || (data == nullptr && length > 0)) return -1;
    uint32_t done = 0;
    while (done < length) {
        const ssize_t n = write(master, data + done, length - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master, POLLOUT, 0};
            if (poll(&p, 1, 1000) <= 0) return -1;
        } else if (!(n < 0 && errno == EINTR)) {
            return -1;
        }
    }
    return static_cast<int32_t>(done);
}

void CPtyMaster::Interrupt() {
    m_impl->Wake();
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
