// HID device I/O on Linux: hidraw nodes found under sysfs, opened non-blocking, read with
// poll() on the node plus an eventfd that carries the stop request.
//
// A node path that names a Unix SOCK_SEQPACKET socket instead of a character device is
// connected to rather than opened: it delivers whole reports like a hidraw node and signals a
// hang-up when its peer goes away, so a simulated scanner can stand in for a real one.
#include "platform/hid_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <new>
#include <string>
#include <vector>

namespace qds::plat {

namespace {

constexpr const char kNodePrefix[] = "hidraw";

std::string EnvOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return (v != nullptr && *v != '\0') ? std::string(v) : std::string(fallback);
}

std::string SysfsRoot() {
    return EnvOr("VANTREL_SYSFS_ROOT", "/sys");
}
std::string DevDir() {
    return EnvOr("VANTREL_DEV_DIR", "/dev");
}

// The number of "hidrawN", or -1 for any other name.
long NodeNumber(const std::string& name) {
    const size_t n = sizeof(kNodePrefix) - 1;
    if (name.size() <= n || name.size() > n + 9 || name.compare(0, n, kNodePrefix) != 0) return -1;
    long value = 0;
    for (size_t i = n; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        value = value * 10 + (name[i] - '0');
    }
    return value;
}

// HID_ID=bus:vendor:product, each in hex. False when the line is missing or malformed.
bool ReadHidId(const std::string& ueventPath, unsigned& vendor, unsigned& product) {
    std::ifstream in(ueventPath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 7, "HID_ID=") != 0) continue;
        unsigned bus = 0;
        char tail = 0;
        if (std::sscanf(line.c_str() + 7, "%x:%x:%x%c", &bus, &vendor, &product, &tail) != 3)
            return false;
        vendor &= 0xFFFFu;
        product &= 0xFFFFu;
        return true;
    }
    return false;
}

uint64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// Connects to a SOCK_SEQPACKET socket at `path`; -1 on failure.
int ConnectSeqpacket(const std::string& path) {
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path)) return -1;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

struct CHidDevice::Impl {
    Impl(int fd, int stopFd, bool socket) : fd(fd), stopFd(stopFd), socket(socket) {}
    ~Impl() {
        if (fd >= 0) ::close(fd);
        ::close(stopFd);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    int fd;            // the hidraw node or the connected socket; -1 once closed
    const int stopFd;  // eventfd: readable once a stop was requested
    const bool socket;
};

CHidDevice::CHidDevice(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

CHidDevice::~CHidDevice() = default;

HidIo CHidDevice::ReadReport(uint8_t* report, uint32_t& count) {
    count = 0;
    for (;;) {
        pollfd fds[2] = {{m_impl->stopFd, POLLIN, 0}, {m_impl->fd, POLLIN, 0}};
        const int rc = ::poll(fds, 2, -1);
        if (rc < 0) {
            if (errno == EINTR) continue;
            return HidIo::Failed;
        }
        if (fds[0].revents != 0) return HidIo::Stopped;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(m_impl->fd, report, kHidReportSize);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                return HidIo::Failed;  // ENODEV: unplugged
            }
            if (n == 0) return HidIo::Failed;  // end of file: the far end went away
            count = static_cast<uint32_t>(n);
            return HidIo::Done;
        }
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) return HidIo::Failed;
    }
}

void CHidDevice::RequestStop() {
    const uint64_t one = 1;
    while (::write(m_impl->stopFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

HidIo CHidDevice::WriteReport(const uint8_t* report, uint32_t& count, uint32_t timeoutMs) {
    count = 0;
    const int fd = m_impl->fd;
    const uint64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        const ssize_t n = m_impl->socket ? ::send(fd, report, kHidReportSize, MSG_NOSIGNAL)
                                         : ::write(fd, report, kHidReportSize);
        if (n >= 0) {
            count = static_cast<uint32_t>(n);
            return HidIo::Done;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return HidIo::Failed;
        const uint64_t now = NowMs();
        if (now >= deadline) return HidIo::TimedOut;
        pollfd p = {fd, POLLOUT, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(deadline - now));
        if (rc < 0 && errno != EINTR) return HidIo::Failed;
        if (rc == 0) return HidIo::TimedOut;
        if (rc > 0 && !(p.revents & POLLOUT)) return HidIo::Failed;
    }
}

void CHidDevice::Close() {
    if (m_impl->fd >= 0) ::close(m_impl->fd);
    m_impl->fd = -1;
    m_bOpen.store(false, std::memory_order_release);
}

void ListHidInterfacePaths(HidPathVisitor visit, void* context) {
    if (visit == nullptr) return;
    try {
        const std::string classDir = SysfsRoot() + "/class/hidraw";
        std::vector<std::pair<long, std::string>> nodes;
        if (DIR* dir = ::opendir(classDir.c_str())) {
            while (const dirent* e = ::readdir(dir)) {
                const long number = NodeNumber(e->d_name);
                if (number >= 0) nodes.emplace_back(number, e->d_name);
            }
            ::closedir(dir);
        }
        std::sort(nodes.begin(), nodes.end());
        for (const auto& node : nodes) {
            unsigned vendor = 0, product = 0;
            if (!ReadHidId(classDir + "/" + node.second + "/device/uevent", vendor, product))
                continue;
            wchar_t path[64];
            std::swprintf(path, 64, L"\\\\?\\hid#vid_%04x&pid_%04x#%s", vendor, product,
                          node.second.c_str());
            if (!visit(path, context)) return;
        }
    } catch (...) {
        // Out of memory while listing: the walk ends with what was visited.
    }
}

std::wstring HidSerialNumber(const wchar_t* path) {
    if (path == nullptr) return std::wstring();
    try {
        const wchar_t* hash = std::wcsrchr(path, L'#');
        if (hash == nullptr) return std::wstring();
        std::string node;
        for (const wchar_t* p = hash + 1; *p != L'\0'; ++p) {
            if (*p > 0x7F) return std::wstring();
            node.push_back(static_cast<char>(*p));
        }
        if (NodeNumber(node) < 0) return std::wstring();
        std::ifstream in(SysfsRoot() + "/class/hidraw/" + node + "/device/uevent");
        std::string line;
        while (std::getline(in, line)) {
            if (line.compare(0, 9, "HID_UNIQ=") != 0) continue;
            std::wstring serial;
            for (size_t i = 9; i < line.size(); ++i) {
                const unsigned char c = static_cast<unsigned char>(line[i]);
                serial.push_back(c < 0x80 ? static_cast<wchar_t>(c) : L'?');
            }
            return serial;
        }
    } catch (...) {
    }
    return std::wstring();
}

std::unique_ptr<CHidDevice> OpenHidDevice(const wchar_t* path) {
    if (path == nullptr) return nullptr;
    try {
        // The node is the part after the last '#'; nothing but hidrawN is accepted, so a path
        // cannot lead outside the device folder.
        const wchar_t* hash = std::wcsrchr(path, L'#');
        if (hash == nullptr) return nullptr;
        std::string node;
        for (const wchar_t* p = hash + 1; *p != L'\0'; ++p) {
            if (*p > 0x7F) return nullptr;
            node.push_back(static_cast<char>(*p));
        }
        if (NodeNumber(node) < 0) return nullptr;
        const std::string full = DevDir() + "/" + node;

        bool socket = false;
        int fd = ::open(full.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            struct stat st {};
            if (errno != ENXIO || ::stat(full.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
                return nullptr;
            fd = ConnectSeqpacket(full);
            if (fd < 0) return nullptr;
            socket = true;
        }
        const int stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (stopFd < 0) {
            ::close(fd);
            return nullptr;
        }
        std::unique_ptr<CHidDevice::Impl> impl(new (std::nothrow)
                                                   CHidDevice::Impl(fd, stopFd, socket));
        if (impl == nullptr) {
            ::close(fd);
            ::close(stopFd);
            return nullptr;
        }
        // Without memory for the device object the Impl closes the descriptors as it goes.
        return std::unique_ptr<CHidDevice>(new (std::nothrow) CHidDevice(std::move(impl)));
    } catch (...) {
        return nullptr;
    }
}

}  // namespace qds::plat
