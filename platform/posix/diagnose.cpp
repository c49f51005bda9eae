// Field diagnosis on POSIX: the .reg file, /dev tty nodes probed with open and flock, dlerror.
#include "platform/diagnose.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/posix/RegFile.h"

namespace qds::plat {

namespace {

// Serial device families worth listing; pseudo-terminals are named by the configuration.
const char* const kSerialPrefixes[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "rfcomm"};

bool IsSerialName(const char* name) {
    for (const char* p : kSerialPrefixes) {
        const size_t n = std::strlen(p);
        if (std::strncmp(name, p, n) == 0 && name[n] >= '0' && name[n] <= '9') return true;
    }
    return false;
}

// "ttyS10" after "ttyS9": by prefix, then by number.
bool NaturalLess(const std::string& a, const std::string& b) {
    const size_t da = a.find_first_of("0123456789");
    const size_t db = b.find_first_of("0123456789");
    const std::string pa = a.substr(0, da), pb = b.substr(0, db);
    if (pa != pb) return pa < pb;
    const long na = da == std::string::npos ? -1 : std::strtol(a.c_str() + da, nullptr, 10);
    const long nb = db == std::string::npos ? -1 : std::strtol(b.c_str() + db, nullptr, 10);
    return na < nb;
}

std::string ErrnoText(int err) {
    return std::string(std::strerror(err)) + " (errno " + std::to_string(err) + ")";
}

}  // namespace

std::string RegistrySource(std::string* problem) {
    const std::string path = regfile::FilePath();
    const bool named =
        std::getenv("KOLVEX_REGISTRY") != nullptr && *std::getenv("KOLVEX_REGISTRY") != '\0';
    std::string where =
        "registry file " + path +
        (named ? " (from KOLVEX_REGISTRY)" : " (default; KOLVEX_REGISTRY is not set)");
    problem->clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno;
        if (named || err != ENOENT) {
            *problem = "cannot read " + path + ": " + ErrnoText(err) + "; every value is a default";
        }
        return where;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool hasKeyLines = text.find("[HKEY_") != std::string::npos ||
                             text.find(std::string("[\0H", 3)) != std::string::npos;
    if (regfile::Parse(text).keys.empty() && hasKeyLines) {
        *problem = path +
                   " holds keys but they are not read: the first line must be \"Windows Registry"
                   " Editor Version 5.00\" or \"REGEDIT4\"";
    }
    return where;
}

std::vector<std::string> RegValueNames(const char* subKey, RegView) {
    // Both views are the one file.
    std::vector<std::string> names;
    const regfile::File file = regfile::Load(regfile::FilePath());
    const std::string want = regfile::NormalizePath(subKey);
    for (const regfile::Key& k : file.keys) {
        if (!regfile::SameName(k.path, want)) continue;
        for (const regfile::Value& v : k.values) names.push_back(v.name);
    }
    return names;
}

std::vector<std::string> ListSerialPorts() {
    std::vector<std::string> names;
    if (DIR* d = opendir("/dev")) {
        while (const dirent* e = readdir(d)) {
            if (IsSerialName(e->d_name)) names.push_back(e->d_name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    for (std::string& n : names) n = "/dev/" + n;
    return names;
}

PortState ProbeSerialPort(const std::string& path, std::string* detail) {
    detail->clear();
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        *detail = ErrnoText(err);
        switch (err) {
            case ENOENT:
            case ENOTDIR:
                return PortState::Missing;
            case EACCES:
            case EPERM:
                return PortState::NoAccess;
            case EBUSY:
                return PortState::InUse;  // opened with TIOCEXCL by another
            case EIO:
            case ENXIO:
            case ENODEV:
                return PortState::NoHardware;
            default:
                return PortState::Failed;
        }
    }
    PortState state = PortState::Free;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        *detail =
            err == EWOULDBLOCK ? std::string("another process holds a lock on it") : ErrnoText(err);
        state = err == EWOULDBLOCK ? PortState::InUse : PortState::Failed;
    }
    close(fd);  // also drops our lock
    return state;
}

std::string LastLoadError() {
    const char* e = dlerror();
    return e != nullptr ? std::string(e) : std::string("no reason given");
}

}  // namespace qds::plat
