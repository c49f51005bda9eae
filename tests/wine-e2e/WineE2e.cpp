// Windows end-to-end program: drives Kolvex.dll (through its JNI exports, with a minimal JNI
// environment of our own) and Tavrix.dll over a real COM port, under Wine. run.sh starts the
// simulated scanner on a pseudo-terminal that Wine's COM port maps to, forwards the "SIM"
// lines printed here to it, and checks what the scanner received.
//
//   WineE2e scan PORT   claim, enable, scans, release and close on COMPORT (device type 3)
//   WineE2e line PORT   device type 1 on a line paced at 9600 baud behind a USB-serial
//                       adapter: each label is exactly one scan (frames by silence)
//   WineE2e hid         the "HID" transport with no device: Vantrel loads, nothing opens
// Prints "FAIL ..." for each failed check; exit status 0 when all held.
#include <jni.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "framework/Tavrix.h"
#include "platform/dynlib.h"

namespace {

int g_failures = 0;

// The exports of Kolvex.dll, looked up by the names a JVM looks for: stdcall-decorated on
// 32-bit Windows (_Java_..._Open@24), plain on 64-bit.
struct Kolvex {
    jint(JNICALL* Open)(JNIEnv*, jobject, jint, jint, jint, jint);
    jint(JNICALL* Close)(JNIEnv*, jobject);
    jint(JNICALL* ClaimDevice)(JNIEnv*, jobject, jint);
    jint(JNICALL* ReleaseDevice)(JNIEnv*, jobject);
    jbyteArray(JNICALL* GetPropertyString)(JNIEnv*, jobject, jint);
    jint(JNICALL* SetPropertyNumber)(JNIEnv*, jobject, jint, jint);
    jint(JNICALL* GetPropertyNumber)(JNIEnv*, jobject, jint);
};
Kolvex g_k;

template <typename Fn>
bool Find(qds::plat::LibHandle lib, const char* method, int argBytes, Fn* out) {
    std::string name = std::string("Java_com_jpos_scanner_Kolvex_") + method;
    if (sizeof(void*) == 4) name = "_" + name + "@" + std::to_string(argBytes);
    *out = reinterpret_cast<Fn>(qds::plat::GetSymbol(lib, name.c_str()));
    if (*out == nullptr) std::printf("FAIL Kolvex.dll does not export %s\n", name.c_str());
    return *out != nullptr;
}

bool LoadKolvex() {
    qds::plat::LibHandle lib = qds::plat::LoadLib("Kolvex.dll");
    if (lib == nullptr) {
        std::printf("FAIL Kolvex.dll does not load\n");
        return false;
    }
    bool ok = Find(lib, "Open", 24, &g_k.Open);
    ok = Find(lib, "Close", 8, &g_k.Close) && ok;
    ok = Find(lib, "ClaimDevice", 12, &g_k.ClaimDevice) && ok;
    ok = Find(lib, "ReleaseDevice", 8, &g_k.ReleaseDevice) && ok;
    ok = Find(lib, "GetPropertyString", 12, &g_k.GetPropertyString) && ok;
    ok = Find(lib, "SetPropertyNumber", 16, &g_k.SetPropertyNumber) && ok;
    ok = Find(lib, "GetPropertyNumber", 12, &g_k.GetPropertyNumber) && ok;
    return ok;  // the library stays loaded for the whole run
}

void Check(bool ok, const std::string& what) {
    if (!ok) {
        std::printf("FAIL %s\n", what.c_str());
        std::fflush(stdout);
        ++g_failures;
    }
}

void Eq(long long want, long long got, const std::string& what) {
    Check(want == got, what + ": want " + std::to_string(want) + ", got " + std::to_string(got));
}

// Byte arrays of our JNI environment: a string per array, owned by the environment.
struct FakeArray {
    std::string bytes;
};

jbyteArray JNICALL NewByteArray(JNIEnv*, jsize len) {
    if (len < 0) return nullptr;
    auto* a = new FakeArray;
    a->bytes.assign(static_cast<size_t>(len), '\0');
    return reinterpret_cast<jbyteArray>(a);
}

void JNICALL SetByteArrayRegion(JNIEnv*, jbyteArray array, jsize start, jsize len,
                                const jbyte* buf) {
    auto* a = reinterpret_cast<FakeArray*>(array);
    if (a == nullptr || start < 0 || len < 0 ||
        static_cast<size_t>(start) + len > a->bytes.size()) {
        Check(false, "SetByteArrayRegion out of range");
        return;
    }
    if (len > 0) std::memcpy(&a->bytes[static_cast<size_t>(start)], buf, static_cast<size_t>(len));
}

struct Env {
    JNINativeInterface_ table;
    JNIEnv env;
    Env() {
        std::memset(&table, 0, sizeof table);
        table.NewByteArray = NewByteArray;
        table.SetByteArrayRegion = SetByteArrayRegion;
        env.functions = &table;
    }
};

Env g_env;
JNIEnv* const E = &g_env.env;

std::string Text(int index) {
    jbyteArray arr = g_k.GetPropertyString(E, nullptr, index);
    if (arr == nullptr) {
        Check(false, "GetPropertyString(" + std::to_string(index) + ") gave null");
        return std::string();
    }
    auto* a = reinterpret_cast<FakeArray*>(arr);
    std::string s = a->bytes;
    delete a;
    return s;
}

int Num(int index) {
    return g_k.GetPropertyNumber(E, nullptr, index);
}
void Set(int index, int value) {
    g_k.SetPropertyNumber(E, nullptr, index, value);
}

std::string Hex(const std::string& s) {
    std::string out;
    char b[4];
    for (unsigned char c : s) {
        std::snprintf(b, sizeof b, "%02X", c);
        out += b;
    }
    return out;
}

enum {
    kClaimed = 1,
    kDataEventEnabled = 2,
    kDeviceEnabled = 3,
    kResultCode = 6,
    kState = 9,
    kDataCount = 12,
    kDecodeData = 10001,
    kScanDataType = 10002,
    kScanData = 1010001,
    kScanDataLabel = 1010002
};

struct ScanCase {
    const char* sim;    // the simulator's command
    int type;           // ScanDataType
    std::string label;  // ScanDataLabel
    std::string data;   // ScanData (a version-2 record keeps its byte 2, "0", in front)
};

int ScanScenario(int port) {
    const ScanCase cases[] = {
        {"scan upca 012345678905 v2", 101, "012345678905", "0012345678905"},
        {"scan ean8 96385074 v1", 103, "96385074", "96385074"},
        {"scan code39 CODE-39 v2", 108, "CODE-39", "0CODE-39"},
        {"scan datamatrix DM\\x00\\xFF1 v2", 203,
         std::string("DM\0\xFF"
                     "1",
                     5),
         std::string("0DM\0\xFF"
                     "1",
                     6)},
        {"scan ean13+s 400638133393112 v1", 119, "400638133393112", "400638133393112"},
    };
    const int n = static_cast<int>(sizeof cases / sizeof cases[0]);

    Eq(0, g_k.Open(E, nullptr, 3, 1, port, 0), "Open");
    Eq(2, Num(kState), "State after Open");
    Eq(0, g_k.ClaimDevice(E, nullptr, 1000), "ClaimDevice");
    Eq(1, Num(kClaimed), "Claimed");
    Eq(0, Num(kDeviceEnabled), "DeviceEnabled after the claim");
    Set(kDecodeData, 1);
    Eq(0, Num(kResultCode), "ResultCode after DecodeData");
    Set(kDeviceEnabled, 1);
    Eq(0, Num(kResultCode), "ResultCode after DeviceEnabled");
    Eq(1, Num(kDeviceEnabled), "DeviceEnabled");
    if (g_failures > 0) return 1;

    for (const ScanCase& c : cases) std::printf("SIM %s\n", c.sim);
    std::printf("ENABLED\n");
    std::fflush(stdout);

    // DataCount is how the service tells of waiting scans; look at it in 10 ms steps, with a
    // generous bound.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Num(kDataCount) < n && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Eq(n, Num(kDataCount), "DataCount after the scans");

    for (int i = 0; i < n; ++i) {
        const ScanCase& c = cases[i];
        const std::string what = std::string("[") + c.sim + "] ";
        Set(kDataEventEnabled, 1);
        Eq(n - 1 - i, Num(kDataCount), what + "DataCount after the pull");
        Eq(0, Num(kDataEventEnabled), what + "DataEventEnabled reset");
        Eq(c.type, Num(kScanDataType), what + "ScanDataType");
        const std::string label = Text(kScanDataLabel), data = Text(kScanData);
        Check(label == c.label, what + "ScanDataLabel " + Hex(label) + ", want " + Hex(c.label));
        Check(data == c.data, what + "ScanData " + Hex(data) + ", want " + Hex(c.data));
    }

    Eq(0, g_k.ReleaseDevice(E, nullptr), "ReleaseDevice");
    Eq(0, Num(kClaimed), "Claimed after Release");
    Eq(1, Num(kDeviceEnabled), "DeviceEnabled after Release");
    Eq(0, g_k.Close(E, nullptr), "Close");
    Eq(1, Num(kState), "State after Close");
    Eq(101, Num(kResultCode), "ResultCode after Close");
    return g_failures == 0 ? 0 : 1;
}

// Text labels cut into bursts by the line and the adapter; the framework's frame gap must put
// each back together, on Windows as on Linux.
int LineScenario(int port) {
    const ScanCase cases[] = {
        {"ean13", 104, "4006381333931", "4006381333931"},
        {"code39", 108, "CODE-39", "CODE-39"},
        {"qr", 204, "https://example.com/q", "https://example.com/q"},
    };
    const int n = static_cast<int>(sizeof cases / sizeof cases[0]);
    Eq(0, g_k.Open(E, nullptr, 1, 1, port, 0), "Open");
    Eq(0, g_k.ClaimDevice(E, nullptr, 1000), "ClaimDevice");
    Set(kDecodeData, 1);
    Set(kDeviceEnabled, 1);
    Eq(1, Num(kDeviceEnabled), "DeviceEnabled");
    if (g_failures > 0) return 1;

    // One command: the labels 300 ms apart, each paced by the line.
    std::string cmd = "scan";
    for (const ScanCase& c : cases) cmd += std::string(" ") + c.sim + " " + c.label;
    std::printf("SIM %s pause=300\n", cmd.c_str());
    std::fflush(stdout);

    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Num(kDataCount) < n && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // A label cut in two would be two scans: the n-th would not be the last label, and the
    // scans would not match the labels in order.
    Eq(n, Num(kDataCount), "DataCount after the labels: one scan each");
    for (int i = 0; i < n; ++i) {
        const ScanCase& c = cases[i];
        const std::string what = std::string("[") + c.sim + "] ";
        Set(kDataEventEnabled, 1);
        Eq(c.type, Num(kScanDataType), what + "ScanDataType");
        const std::string data = Text(kScanData);
        Check(data == c.data, what + "ScanData " + Hex(data) + ", want " + Hex(c.data));
    }
    Eq(0, g_k.ReleaseDevice(E, nullptr), "ReleaseDevice");
    Eq(0, g_k.Close(E, nullptr), "Close");
    return g_failures == 0 ? 0 : 1;
}

int HidScenario() {
    // No HID-POS device under Wine: the plug-in loads, finds nothing and the open fails.
    TVX_HANDLE h = tvx_open(L"HID", nullptr, 1);
    Check(h == nullptr, "tvx_open HID without a device gave a handle");
    if (h != nullptr) tvx_close(h);
    h = tvx_open(L"HID", L"id=0", 1);
    Check(h == nullptr, "tvx_open HID id=0 without a device gave a handle");
    if (h != nullptr) tvx_close(h);

    // The service reports the same through ClaimDevice: 106, nothing claimed.
    Eq(0, g_k.Open(E, nullptr, 3, 3, 0, 0), "Open HID");
    Eq(106, g_k.ClaimDevice(E, nullptr, 0), "ClaimDevice HID");
    Eq(0, Num(kClaimed), "Claimed after the failed claim");
    Eq(0, g_k.Close(E, nullptr), "Close");
    Eq(1, Num(kState), "State after Close");
    return g_failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string scenario = argc > 1 ? argv[1] : "";
    int rc = 2;
    if (!LoadKolvex())
        rc = 1;
    else if (scenario == "scan" && argc > 2)
        rc = ScanScenario(std::atoi(argv[2]));
    else if (scenario == "line" && argc > 2)
        rc = LineScenario(std::atoi(argv[2]));
    else if (scenario == "hid")
        rc = HidScenario();
    else
        std::printf("FAIL usage: WineE2e scan PORT | line PORT | hid\n");
    std::printf(rc == 0 ? "PASS %s\n" : "FAILED %s\n", scenario.c_str());
    std::fflush(stdout);
    return rc;
}
