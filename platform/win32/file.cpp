#include "platform/file.h"

#include <windows.h>

namespace qds::plat {

bool AppendToFile(const char* path, const void* data, size_t size) {
    if (path == nullptr || *path == '\0' || (data == nullptr && size > 0)) return false;
    // Append-only access makes every WriteFile land at the end of the file as one piece,
    // also against other processes.
    HANDLE h =
        CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const char* p = static_cast<const char*>(data);
    bool ok = true;
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) {
            ok = false;
            break;
        }
        p += written;
        size -= written;
    }
    CloseHandle(h);
    return ok;
}

}  // namespace qds::plat
