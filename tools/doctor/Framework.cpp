// Loading Tavrix at run time, opening a channel, and listening with Kolvex's own framing and
// decoding (a service object of our own, fed the channel's chunks).
#include "tools/doctor/Framework.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/TavrixExt.h"
#include "platform/diagnose.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "service/ScannerCtrl.h"
#include "tavrix/Params.h"
#include "tools/doctor/Doctor.h"
#include "trace/TraceLog.h"

namespace qds::doctor {

namespace {

// The exports by their plain name and, for 32-bit Windows, their stdcall-decorated one.
void* Lookup(void* lib, const char* plain, const char* decorated) {
    void* p = plat::GetSymbol(lib, plain);
    return p != nullptr ? p : plat::GetSymbol(lib, decorated);
}

std::string FolderOf(const std::string& file) {
    const size_t cut = file.find_last_of("/\\");
    return cut == std::string::npos ? std::string(".") : file.substr(0, cut);
}

// The library whose functions the service object's framework calls reach (see below).
std::atomic<CFramework*> g_framework{nullptr};

std::string Hex(const uint8_t* data, int32_t length) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (int32_t i = 0; i < length; ++i) {
        if (i > 0) s += ' ';
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

// Printable ASCII as it is, anything else as \xHH.
std::string Printable(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            s += static_cast<char>(c);
        } else {
            s += "\\x";
            s += digits[c >> 4];
            s += digits[c & 15];
        }
    }
    return s;
}

int CommuTypeOf(const std::string& type) {
    std::string t;
    for (char c : type) t += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (t == "COM") return 1;
    if (t == "UDP") return 2;
    if (t == "HID") return 3;
    return 0;
}

}  // namespace

bool CFramework::Load(const std::string& dir, std::string* reason) {
    const std::string name =
        std::string(plat::SharedLibPrefix()) + "Tavrix" + plat::SharedLibSuffix();
    std::vector<std::string> tries;
    const std::string sep(1, plat::PathSeparator());
    if (!dir.empty()) {
        tries.push_back(dir + sep + name);
    } else {
        const std::string self = FolderOf(plat::ExecutablePath());
        tries.push_back(self + sep + name);
        const std::string up = self + sep + ".." + sep + "lib" + sep + name;
        tries.push_back(std::filesystem::path(up).lexically_normal().string());
    }
    reason->clear();
    for (const std::string& path : tries) {
        void* lib = plat::LoadLib(path.c_str());
        if (lib == nullptr) {
            *reason += (reason->empty() ? "" : "; ") + path + ": " + plat::LastLoadError();
            continue;
        }
        m_open = reinterpret_cast<decltype(m_open)>(Lookup(lib, "tvx_open", "_tvx_open@12"));
        m_register = reinterpret_cast<decltype(m_register)>(
            Lookup(lib, "tvx_register_notify", "_tvx_register_notify@16"));
        m_write = reinterpret_cast<decltype(m_write)>(Lookup(lib, "tvx_write", "_tvx_write@16"));
        m_clear = reinterpret_cast<decltype(m_clear)>(Lookup(lib, "tvx_clear", "_tvx_clear@4"));
        m_close = reinterpret_cast<decltype(m_close)>(Lookup(lib, "tvx_close", "_tvx_close@4"));
        m_lastError = reinterpret_cast<decltype(m_lastError)>(
            Lookup(lib, TVX_LAST_ERROR_NAME, "_tvx_last_error@8"));
        if (m_open == nullptr || m_register == nullptr || m_write == nullptr ||
            m_clear == nullptr || m_close == nullptr) {
            *reason += (reason->empty() ? "" : "; ") + path +
                       ": loaded, but it lacks one of the five tvx_ functions";
            plat::FreeLib(lib);
            continue;
        }
        m_lib = lib;
        m_path = path;
        g_framework.store(this);
        return true;
    }
    return false;
}

TVX_HANDLE CFramework::Open(const std::wstring& type, const wchar_t* params) {
    return m_open != nullptr ? m_open(type.c_str(), params, 1) : nullptr;
}

int32_t CFramework::RegisterNotify(TVX_HANDLE h, TVX_NOTIFY callback, void* context) {
    return m_register != nullptr ? m_register(h, 0, callback, context) : -1;
}

int32_t CFramework::Write(TVX_HANDLE h, const uint8_t* data, int32_t length, int32_t timeoutMs) {
    return m_write != nullptr ? m_write(h, data, length, timeoutMs) : -1;
}

int32_t CFramework::Clear(TVX_HANDLE h) {
    return m_clear != nullptr ? m_clear(h) : -1;
}

void CFramework::Close(TVX_HANDLE h) {
    if (m_close != nullptr) m_close(h);
}

std::string CFramework::LastError() {
    if (m_lastError == nullptr) return std::string();
    char buf[1024] = {};
    const int32_t n = m_lastError(buf, static_cast<int32_t>(sizeof buf));
    return n > 0 ? std::string(buf) : std::string();
}

namespace {

TVX_HANDLE OpenOrExplain(CFramework& fw, const std::string& type, const std::string& params,
                         bool nullParams) {
    const std::wstring wparams = tvx::Widen(params);
    std::printf("tvx_open(\"%s\", %s%s%s, 1) in %s\n", type.c_str(), nullParams ? "" : "\"",
                nullParams ? "null" : params.c_str(), nullParams ? "" : "\"", fw.Path().c_str());
    TVX_HANDLE h = fw.Open(tvx::Widen(type), nullParams ? nullptr : wparams.c_str());
    if (h == nullptr) {
        const std::string why = fw.LastError();
        if (!why.empty()) {
            std::printf("open failed: %s\n", why.c_str());
        } else if (fw.HasLastError()) {
            std::printf("open failed: the framework gave no reason\n");
        } else {
            std::printf("open failed: this framework library gives no reasons (it has no %s)\n",
                        TVX_LAST_ERROR_NAME);
        }
    }
    std::fflush(stdout);
    return h;
}

// What the listener shares with the framework's receive thread.
struct Listening {
    OPOS::CScannerCtrl ctrl;
    plat::CEvent enough{true, false};
    std::atomic<int> scans{0};
    std::atomic<int> chunks{0};
    int maxScans = 0;
};

void KX_STDCALL OnChunk(const uint8_t* data, int32_t length, void* context) {
    auto* l = static_cast<Listening*>(context);
    ++l->chunks;
    std::printf("CHUNK %d bytes: %s\n", static_cast<int>(length),
                data != nullptr ? Hex(data, length).c_str() : "");
    l->ctrl.ReceiveDataFromTAVRIX(data, length);
    // Each queued scan is taken the way an application takes it: DataEventEnabled, then the
    // three scan properties.
    for (int32_t left = l->ctrl.GetDataCount(); left > 0;) {
        l->ctrl.SetDataEventEnabled(1);
        const int32_t now = l->ctrl.GetDataCount();
        if (now >= left) break;  // nothing was delivered; do not spin
        left = now;
        std::string scanData, label;
        l->ctrl.GetPropertyString(OPOS::PIDXScan_ScanData, scanData);
        l->ctrl.GetPropertyString(OPOS::PIDXScan_ScanDataLabel, label);
        const int32_t type = l->ctrl.GetPropertyNumber(OPOS::PIDXScan_ScanDataType);
        std::printf("SCAN ScanDataType %d  label \"%s\"  data \"%s\"\n", static_cast<int>(type),
                    Printable(label).c_str(), Printable(scanData).c_str());
        if (++l->scans >= l->maxScans && l->maxScans > 0) l->enough.Set();
    }
    std::fflush(stdout);
}

}  // namespace

int OpenCommand(CFramework& fw, const std::string& type, const std::string& params,
                bool nullParams) {
    TVX_HANDLE h = OpenOrExplain(fw, type, params, nullParams);
    if (h == nullptr) return kExitOpenFailed;
    std::printf("opened; closing again\n");
    fw.Close(h);
    return kExitOk;
}

int ListenCommand(CFramework& fw, const std::string& type, const std::string& params,
                  bool nullParams, int seconds, int devType, int maxScans) {
    // Kolvex's trace stays untouched by the doctor's own service object.
    CTraceLog::Instance().ConfigureForTests(0, std::string());
    Listening l;
    l.maxScans = maxScans;
    l.ctrl.Open(devType, CommuTypeOf(type), 1, false);
    l.ctrl.SetDecodeData(1);
    l.ctrl.m_Claimed = 1;        // the receive path frames only for a claimed device
    l.ctrl.m_DeviceEnabled = 1;  // and queues scans only for an enabled one

    TVX_HANDLE h = OpenOrExplain(fw, type, params, nullParams);
    if (h == nullptr) return kExitOpenFailed;
    // Bytes that arrive before a callback is registered are not delivered: register first,
    // then tell the caller that it may send.
    fw.RegisterNotify(h, &OnChunk, &l);
    std::printf("listening for %d s as device type %d\n", seconds, devType);
    std::fflush(stdout);
    l.enough.Wait(static_cast<uint32_t>(seconds) * 1000u);
    fw.Close(h);  // no callback runs once this has returned
    l.ctrl.m_Claimed = 0;
    std::printf("%d chunks, %d scans\n", l.chunks.load(), l.scans.load());
    return l.scans.load() > 0 ? kExitOk : kExitNoScans;
}

}  // namespace qds::doctor

// Kolvex's service code calls the five framework functions only for a channel it claimed
// itself, which the doctor never does; defining them here, forwarding to the library loaded at
// run time, lets the doctor start (and say so) when the framework library is missing.
extern "C" {
TVX_HANDLE KX_STDCALL tvx_open(const wchar_t* type, const wchar_t* params, int32_t) {
    auto* fw = qds::doctor::g_framework.load();
    return fw != nullptr && type != nullptr ? fw->Open(type, params) : nullptr;
}
int32_t KX_STDCALL tvx_register_notify(TVX_HANDLE h, int32_t, TVX_NOTIFY cb, void* ctx) {
    auto* fw = qds::doctor::g_framework.load();
    return fw != nullptr ? fw->RegisterNotify(h, cb, ctx) : -1;
}
int32_t KX_STDCALL tvx_write(TVX_HANDLE h, const uint8_t* data, int32_t length, int32_t ms) {
    auto* fw = qds::doctor::g_framework.load();
    return fw != nullptr ? fw->Write(h, data, length, ms) : -1;
}
int32_t KX_STDCALL tvx_clear(TVX_HANDLE h) {
    auto* fw = qds::doctor::g_framework.load();
    return fw != nullptr ? fw->Clear(h) : -1;
}
int32_t KX_STDCALL tvx_close(TVX_HANDLE h) {
    auto* fw = qds::doctor::g_framework.load();
    if (fw != nullptr && h != nullptr) fw->Close(h);
    return 0;
}
}
