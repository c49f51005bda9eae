// The plug-in's parameter lookup ("id=...") and its choice among HID device paths, with the
// device list coming from the input instead of the system.
//
// Input: wide characters two bytes each, split at NUL characters into: the parameter text,
// the key looked up, then device paths.
#include <cstdint>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "hid_plugin/HidDiscovery.h"

using namespace qds::hid;

namespace {

std::vector<std::wstring> g_paths;

void ListFromInput(qds::plat::HidPathVisitor visit, void* context) {
    for (const std::wstring& p : g_paths)
        if (!visit(p.c_str(), context)) return;
}

// An exact-size heap copy, so that a read past the terminator is caught.
std::unique_ptr<wchar_t[]> Copy(const std::wstring& s) {
    std::unique_ptr<wchar_t[]> c(new wchar_t[s.size() + 1]);
    std::wmemcpy(c.get(), s.c_str(), s.size() + 1);
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::wstring> parts(1);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (c == 0)
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    const auto params = Copy(parts[0]);
    const auto key = Copy(parts.size() > 1 ? parts[1] : std::wstring(L"id"));

    wchar_t value[kParamValueChars + 4];
    std::wmemset(value, L'#', kParamValueChars + 4);
    const int found = GetParamValue(params.get(), key.get(), value);
    FUZZ_CHECK(found == 0 || found == 1);
    if (found == 1) {
        FUZZ_CHECK(std::wcslen(value) < kParamValueChars);
        FUZZ_CHECK(parts[0].find(value) != std::wstring::npos);
    }
    for (size_t i = kParamValueChars; i < kParamValueChars + 4; ++i) FUZZ_CHECK(value[i] == L'#');
    FUZZ_CHECK(GetParamValue(nullptr, key.get(), value) == 0);
    FUZZ_CHECK(GetParamValue(params.get(), nullptr, value) == 0);

    g_paths.assign(parts.begin() + (parts.size() > 2 ? 2 : parts.size()), parts.end());
    int matching = 0;
    for (const std::wstring& p : g_paths) {
        const auto c = Copy(p);
        if (IsHidPosPath(c.get()) && p.size() < kDevicePathChars) ++matching;
    }
    if (matching > kMaxDevicePaths) matching = kMaxDevicePaths;
    for (int count : {0, 1, matching, kMaxDevicePaths}) {
        const int index = ChooseDeviceIndex(params.get(), count);
        FUZZ_CHECK(index >= -1 && index < count);
    }
    wchar_t path[kDevicePathChars];
    if (ChooseDevicePath(params.get(), path, &ListFromInput)) {
        FUZZ_CHECK(matching > 0);
        FUZZ_CHECK(std::wcslen(path) < kDevicePathChars);
        FUZZ_CHECK(IsHidPosPath(path));
        bool listed = false;
        for (const std::wstring& p : g_paths) listed = listed || p == path;
        FUZZ_CHECK(listed);
    }
    return 0;
}
