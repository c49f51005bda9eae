// Field diagnosis on Windows: the real registry, COM ports from the DOS device names, probed
// with an exclusive CreateFile, and the last error of LoadLibrary.
#include "platform/diagnose.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qds::plat {

namespace {

std::string ErrorText(DWORD err) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, err, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n > 0 && text != nullptr ? std::string(text, n) : std::string("unknown error");
    if (text != nullptr) LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s + " (error " + std::to_string(err) + ")";
}

int ComNumber(const std::string& name) {
    if (name.size() < 4 || _strnicmp(name.c_str(), "COM", 3) != 0) return -1;
    for (size_t i = 3; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return -1;
    return std::atoi(name.c_str() + 3);
}

}  // namespace

std::string RegistrySource(std::string* problem) {
    problem->clear();
    return "the Windows registry";
}

std::vector<std::string> RegValueNames(const char* subKey, RegView view) {
    std::vector<std::string> names;
    const REGSAM sam = KEY_READ | (view == RegView::View32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, sam, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD size = sizeof(name);
        if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    RegCloseKey(key);
    return names;
}

std::vector<std::string> ListSerialPorts() {
    std::vector<int> ports;
    // The list of every DOS device name; grow the buffer until it fits.
    std::vector<char> buf(65536);
    DWORD n = 0;
    while ((n = QueryDosDeviceA(nullptr, buf.data(), static_cast<DWORD>(buf.size()))) == 0 &&
           GetLastError() == ERROR_INSUFFICIENT_BUFFER && buf.size() < (16u << 20)) {
        buf.resize(buf.size() * 2);
    }
    for (DWORD i = 0; i < n && buf[i] != '\0'; i += static_cast<DWORD>(std::strlen(&buf[i])) + 1) {
        const int port = ComNumber(&buf[i]);
        if (port > 0) ports.push_back(port);
    }
    std::sort(ports.begin(), ports.end());
    std::vector<std::string> names;
    for (int p : ports) names.push_back("\\\\.\\COM" + std::to_string(p));
    return names;
}

PortState ProbeSerialPort(const std::string& path, std::string* detail) {
    detail->clear();
    // Share mode 0, as a channel opens it: a port someone holds is refused.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        *detail = ErrorText(err);
        switch (err) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                return PortState::Missing;
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
                return PortState::InUse;  // COM ports open exclusively
            case ERROR_GEN_FAILURE:
            case ERROR_NOT_READY:
                return PortState::NoHardware;
            default:
                return PortState::Failed;
        }
    }
    CloseHandle(h);
    return PortState::Free;
}

std::string LastLoadError() {
    return ErrorText(GetLastError());
}

}  // namespace qds::plat
