#include "hid_plugin/HidDiscovery.h"

#include <cstring>
#include <cwchar>
#include <new>

#include "platform/sync.h"

namespace qds::hid {

namespace {

// One table per loaded plug-in, shared by every open. Every discovery rewrites it, so it and
// the choice of a path from it are guarded by g_csDevicePaths: overlapping opens must not tear
// a path another open is copying.
wchar_t g_DevicePaths[kMaxDevicePaths][kDevicePathChars];

plat::CCriticalSection& DevicePathsLock() {
    static plat::CCriticalSection s_cs;
    return s_cs;
}

wchar_t AsciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

// True when the lower-cased text at `s` begins with `prefix` (itself lower case).
bool StartsWithLower(const wchar_t* s, const wchar_t* prefix) {
    for (; *prefix != L'\0'; ++s, ++prefix) {
        if (*s == L'\0' || AsciiLower(*s) != *prefix) return false;
    }
    return true;
}

struct EnumState {
    int count;
};

bool CollectPath(const wchar_t* path, void* context) {
    auto* state = static_cast<EnumState*>(context);
    if (path == nullptr || !IsHidPosPath(path)) return true;
    const size_t length = std::wcslen(path);
    if (length >= kDevicePathChars) return true;  // would not fit an entry: skipped, never cut
    std::wmemcpy(g_DevicePaths[state->count], path, length + 1);
    ++state->count;
    return state->count < kMaxDevicePaths;
}

}  // namespace

int GetParamValue(const wchar_t* text, const wchar_t* key, wchar_t* value) {
    if (text == nullptr || key == nullptr || value == nullptr) return 0;
    const size_t keyLength = std::wcslen(key);
    if (keyLength == 0) return 0;
    const size_t textLength = std::wcslen(text);
    wchar_t* copy = new (std::nothrow) wchar_t[textLength + 1];
    if (copy == nullptr) return 0;
    std::wmemcpy(copy, text, textLength + 1);

    int found = 0;
    const wchar_t* start = copy;
    const wchar_t* entry = nullptr;
    while (entry == nullptr) {
        const wchar_t* p = std::wcsstr(start, key);
        if (p == nullptr) break;
        const wchar_t* after = p + keyLength;
        if (p == start || p[-1] == L';') {
            if (*after == L'=') {
                entry = after + 1;
            } else if (*after == L'\0') {
                break;
            } else {
                start = after;
            }
        } else {
            start = after;
        }
    }
    if (entry != nullptr) {
        const wchar_t* end = std::wcschr(entry, L';');
        const size_t length =
            end != nullptr ? static_cast<size_t>(end - entry) : std::wcslen(entry);
        if (length < kParamValueChars) {
            std::wmemcpy(value, entry, length);
            value[length] = L'\0';
            found = 1;
        }
    }
    delete[] copy;
    return found;
}

bool IsHidPosPath(const wchar_t* path) {
    if (path == nullptr || !StartsWithLower(path, L"\\\\?\\hid")) return false;
    const wchar_t* rest = path + 7;
    if (StartsWithLower(rest, L"#vid_03f0&pid_5539")) return true;
    if (!StartsWithLower(rest, L"#vid_6a2f&pid_")) return false;
    const wchar_t* product = rest + 14;
    return product[0] != L'\0' && product[1] != L'\0' && product[2] == L'1' && product[3] == L'0';
}

int ChooseDeviceIndex(const wchar_t* params, int count) {
    if (count <= 0) return -1;
    wchar_t value[kParamValueChars];
    if (GetParamValue(params, L"id", value) == 0) return count - 1;
    const long index = std::wcstol(value, nullptr, 10);
    if (index < 0 || index >= count) return -1;
    return static_cast<int>(index);
}

int EnumHidPosDevices(HidPathLister lister) {
    std::memset(g_DevicePaths, 0, sizeof g_DevicePaths);
    EnumState state{0};
    if (lister != nullptr) lister(CollectPath, &state);
    return state.count;
}

bool ChooseDevicePath(const wchar_t* params, wchar_t* path, HidPathLister lister) {
    if (path == nullptr) return false;
    plat::CLock lock(DevicePathsLock());
    const int count = EnumHidPosDevices(lister);
    const int index = ChooseDeviceIndex(params, count);
    if (index < 0 || g_DevicePaths[index][0] == L'\0') return false;
    std::wmemcpy(path, g_DevicePaths[index], kDevicePathChars);
    return true;
}

bool FindSameDevice(const wchar_t* path, const wchar_t* serial, wchar_t* found,
                    HidPathLister lister, HidSerialOf serialOf) {
    if (path == nullptr || path[0] == L'\0' || found == nullptr) return false;
    const bool bySerial = serial != nullptr && serial[0] != L'\0' && serialOf != nullptr;
    // The part before the node: \\?\hid#vid_VVVV&pid_PPPP#, the same model.
    const wchar_t* hash = std::wcsrchr(path, L'#');
    const size_t model = hash == nullptr ? 0 : static_cast<size_t>(hash - path) + 1;
    plat::CLock lock(DevicePathsLock());
    const int count = EnumHidPosDevices(lister);
    int match = -1;
    for (int i = 0; i < count; ++i) {
        const wchar_t* listed = g_DevicePaths[i];
        const bool samePath = std::wcscmp(listed, path) == 0;
        if (!bySerial) {
            if (samePath) match = i;
        } else if ((samePath || (model > 0 && std::wcsncmp(listed, path, model) == 0)) &&
                   serialOf(listed) == serial) {
            if (samePath || match < 0) match = i;
        }
        if (match >= 0 && std::wcscmp(g_DevicePaths[match], path) == 0) break;
    }
    if (match < 0) return false;
    std::wmemcpy(found, g_DevicePaths[match], kDevicePathChars);
    return true;
}

const wchar_t* DevicePathEntry(int index) {
    return (index >= 0 && index < kMaxDevicePaths) ? g_DevicePaths[index] : nullptr;
}

}  // namespace qds::hid
