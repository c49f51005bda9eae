// Calls the eleven exports of the built Kolvex library the way a Java VM does: loaded at run
// time, resolved by their exported names (stdcall-decorated on 32-bit Windows), called with
// a JNI environment of our own in which only the functions the library may use have bodies.
// Runs natively on Linux and under Wine for the Windows builds.
#include <gtest/gtest.h>
#include <jni.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "platform/export.h"
#include "platform/sync.h"
#include "service/ScannerTypes.h"

using namespace qds::OPOS;

namespace {

// --- Java objects of this test: strings and byte arrays ---
struct TestString {
    std::string utf;
};
struct TestByteArray {
    std::vector<jbyte> bytes;
};

struct EnvState {
    bool failNewByteArray = false;
    int utfGets = 0;
    int utfReleases = 0;
    std::vector<std::unique_ptr<TestByteArray>> arrays;
};
EnvState g_env;

const char* JNICALL GetStringUTFChars(JNIEnv*, jstring str, jboolean* isCopy) {
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    ++g_env.utfGets;
    auto* s = reinterpret_cast<TestString*>(str);
    char* copy = new char[s->utf.size() + 1];
    std::memcpy(copy, s->utf.c_str(), s->utf.size() + 1);
    return copy;
}
void JNICALL ReleaseStringUTFChars(JNIEnv*, jstring, const char* chars) {
    ++g_env.utfReleases;
    delete[] chars;
}
jbyteArray JNICALL NewByteArray(JNIEnv*, jsize len) {
    if (g_env.failNewByteArray || len < 0) return nullptr;
    g_env.arrays.push_back(std::make_unique<TestByteArray>());
    g_env.arrays.back()->bytes.assign(static_cast<size_t>(len), 0x55);
    return reinterpret_cast<jbyteArray>(g_env.arrays.back().get());
}
void JNICALL SetByteArrayRegion(JNIEnv*, jbyteArray array, jsize start, jsize len,
                                const jbyte* buf) {
    auto* a = reinterpret_cast<TestByteArray*>(array);
    ASSERT_LE(static_cast<size_t>(start) + static_cast<size_t>(len), a->bytes.size());
    std::memcpy(a->bytes.data() + start, buf, static_cast<size_t>(len));
}
// Strings the library makes (lastReason), as UTF-16.
std::vector<std::unique_ptr<std::u16string>> g_strings;
jstring JNICALL NewString(JNIEnv*, const jchar* chars, jsize len) {
    if (len < 0 || (chars == nullptr && len > 0)) return nullptr;
    g_strings.push_back(std::make_unique<std::u16string>(reinterpret_cast<const char16_t*>(chars),
                                                         static_cast<size_t>(len)));
    return reinterpret_cast<jstring>(g_strings.back().get());
}
void JNICALL CallVoidMethod(JNIEnv*, jobject, jmethodID, ...) {
    ADD_FAILURE() << "no call may reach Java";
}

// Every other entry is null: a call through one of them crashes the test.
JNINativeInterface_ MakeTable() {
    JNINativeInterface_ t;
    std::memset(&t, 0, sizeof t);
    t.GetStringUTFChars = &GetStringUTFChars;
    t.ReleaseStringUTFChars = &ReleaseStringUTFChars;
    t.NewByteArray = &NewByteArray;
    t.SetByteArrayRegion = &SetByteArrayRegion;
    t.CallVoidMethod = &CallVoidMethod;
    t.NewString = &NewString;
    return t;
}
const JNINativeInterface_ g_table = MakeTable();
JNIEnv g_jniEnv{};
JNIEnv* Env() {
    g_jniEnv.functions = &g_table;
    return &g_jniEnv;
}
jobject const kThis = reinterpret_cast<jobject>(0x1000);  // never used by the library

// --- the exports ---
using OpenFn = jint(JNICALL*)(JNIEnv*, jobject, jint, jint, jint, jint);
using NoArgFn = jint(JNICALL*)(JNIEnv*, jobject);
using IntFn = jint(JNICALL*)(JNIEnv*, jobject, jint);
using LoadAddOnFn = jint(JNICALL*)(JNIEnv*, jobject, jstring, jstring, jint, jint, jint, jint,
                                   jint);
using DirectIOFn = jint(JNICALL*)(JNIEnv*, jobject, jint, jintArray, jobject);
using FreezeFn = void(JNICALL*)(JNIEnv*, jobject, jint);
using GetStringFn = jbyteArray(JNICALL*)(JNIEnv*, jobject, jint);
using SetNumberFn = jint(JNICALL*)(JNIEnv*, jobject, jint, jint);

using ReasonFn = jstring(JNICALL*)(JNIEnv*, jobject);

// The exported name of a method: decorated with the argument bytes on 32-bit Windows.
std::string ExportName(const char* method, int argBytes, const char* cls = "Kolvex") {
    std::string name = std::string("Java_com_jpos_scanner_") + cls + "_" + method;
#if defined(KOLVEX_DECORATED_EXPORTS)
    return "_" + name + "@" + std::to_string(argBytes);
#else
    (void)argBytes;
    return name;
#endif
}

struct Kolvex {
    qds::plat::LibHandle lib = nullptr;
    OpenFn Open = nullptr;
    NoArgFn Close = nullptr, ClearInput = nullptr, ReleaseDevice = nullptr;
    LoadAddOnFn LoadAddOn = nullptr;
    IntFn ClaimDevice = nullptr, GetPropertyNumber = nullptr;
    DirectIOFn DirectIO = nullptr;
    FreezeFn COFreezeEvents = nullptr;
    GetStringFn GetPropertyString = nullptr;
    SetNumberFn SetPropertyNumber = nullptr;
    // com.jpos.scanner.KolvexEvents
    IntFn waitEvent = nullptr;
    NoArgFn connectionState = nullptr;
    ReasonFn lastReason = nullptr;

    std::vector<std::string> missing;

    template <typename F>
    void Resolve(F& fn, const char* method, int argBytes, const char* cls = "Kolvex") {
        const std::string name = ExportName(method, argBytes, cls);
        fn = reinterpret_cast<F>(qds::plat::GetSymbol(lib, name.c_str()));
        if (fn == nullptr) missing.push_back(name);
    }
};

// Loaded and resolved once; the library holds one service object for the whole process, so
// the tests below run in order and each leaves it closed.
Kolvex& K() {
    static Kolvex k = [] {
        Kolvex x;
        x.lib = qds::plat::LoadLib(KOLVEX_LIB_FILE);
        x.Resolve(x.Open, "Open", 24);
        x.Resolve(x.Close, "Close", 8);
        x.Resolve(x.LoadAddOn, "LoadAddOn", 36);
        x.Resolve(x.ClaimDevice, "ClaimDevice", 12);
        x.Resolve(x.ClearInput, "ClearInput", 8);
        x.Resolve(x.DirectIO, "DirectIO", 20);
        x.Resolve(x.ReleaseDevice, "ReleaseDevice", 8);
        x.Resolve(x.COFreezeEvents, "COFreezeEvents", 12);
        x.Resolve(x.GetPropertyString, "GetPropertyString", 12);
        x.Resolve(x.SetPropertyNumber, "SetPropertyNumber", 16);
        x.Resolve(x.GetPropertyNumber, "GetPropertyNumber", 12);
        x.Resolve(x.waitEvent, "waitEvent", 12, "KolvexEvents");
        x.Resolve(x.connectionState, "connectionState", 8, "KolvexEvents");
        x.Resolve(x.lastReason, "lastReason", 8, "KolvexEvents");
        return x;
    }();
    return k;
}

std::string Text(jbyteArray a) {
    if (a == nullptr) return "<null>";
    auto* arr = reinterpret_cast<TestByteArray*>(a);
    return std::string(arr->bytes.begin(), arr->bytes.end());
}

class JniExportsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(nullptr, K().lib) << "cannot load " << KOLVEX_LIB_FILE;
        ASSERT_TRUE(K().missing.empty()) << "missing export " << K().missing.front();
        g_env.failNewByteArray = false;
    }
};

TEST_F(JniExportsTest, DispatchBeforeOpen) {
    Kolvex& k = K();
    ASSERT_NE(nullptr, k.GetPropertyNumber);
    const struct {
        jint index, value;
    } numbers[] = {{6, 101}, {9, 1}, {8, 1013005}, {14, 0}, {12, 0}, {0, 0}, {15, 0}};
    for (const auto& n : numbers)
        EXPECT_EQ(n.value, k.GetPropertyNumber(Env(), kThis, n.index)) << n.index;
    const struct {
        jint index;
        const char* text;
    } strings[] = {{1000002, "Scanner"},
                   {1000004, "Opos Scanner Service Object"},
                   {1000001, "Service Not connected"},
                   {1010001, ""},
                   {42, ""}};
    for (const auto& s : strings)
        EXPECT_EQ(s.text, Text(k.GetPropertyString(Env(), kThis, s.index))) << s.index;
    EXPECT_EQ(0, k.Close(Env(), kThis));
    EXPECT_EQ(OPOS_E_CLOSED, k.ClaimDevice(Env(), kThis, 0));
    EXPECT_EQ(OPOS_E_CLOSED, k.ClearInput(Env(), kThis));
    EXPECT_EQ(OPOS_E_CLOSED, k.ReleaseDevice(Env(), kThis));
    EXPECT_EQ(0, k.DirectIO(Env(), kThis, 1, nullptr, nullptr));
}

TEST_F(JniExportsTest, FailedByteArrayGivesNull) {
    Kolvex& k = K();
    g_env.failNewByteArray = true;
    EXPECT_EQ(nullptr, k.GetPropertyString(Env(), kThis, PIDX_ServiceObjectDescription));
}

TEST_F(JniExportsTest, LoadAddOnConvertsAndReleasesItsStrings) {
    Kolvex& k = K();
    TestString lib{TEST_ADDON_FILE};
    TestString func{"TestAddOnOutput"};
    const int gets = g_env.utfGets;
    EXPECT_EQ(1, k.LoadAddOn(Env(), kThis, reinterpret_cast<jstring>(&lib),
                             reinterpret_cast<jstring>(&func), 0x1FF, 0x102, 0, 0, 1));
    EXPECT_EQ(gets + 2, g_env.utfGets);
    EXPECT_EQ(g_env.utfGets, g_env.utfReleases);
    // Null strings: nothing converted, still 1.
    EXPECT_EQ(1, k.LoadAddOn(Env(), kThis, nullptr, nullptr, 0, 0, 0, 0, 0));
    EXPECT_EQ(g_env.utfGets, g_env.utfReleases);
}

TEST_F(JniExportsTest, OpenClaimSettersAndClose) {
    Kolvex& k = K();
    TestString lib{TEST_ADDON_FILE};
    TestString func{"TestAddOnOutput"};
    ASSERT_EQ(1, k.LoadAddOn(Env(), kThis, reinterpret_cast<jstring>(&lib),
                             reinterpret_cast<jstring>(&func), 1, 1, 0, 1, 0));
    // The module Kolvex loaded: a claimed device type 1 sets its output once.
    qds::plat::LibHandle addOn = qds::plat::LoadLib(TEST_ADDON_FILE);
    ASSERT_NE(nullptr, addOn);
    using CountFn = int32_t(KX_CDECL*)();
    auto count = reinterpret_cast<CountFn>(qds::plat::GetSymbol(addOn, "TestAddOnCallCount"));
    ASSERT_NE(nullptr, count);
    const int32_t callsBefore = count();

    EXPECT_EQ(OPOS_SUCCESS, k.Open(Env(), kThis, DEV_TYPE1, COMM_HID, 0, -1));
    EXPECT_EQ(OPOS_E_ILLEGAL, k.Open(Env(), kThis, DEV_TYPE1, COMM_HID, 0, 1));
    EXPECT_EQ(OPOS_S_IDLE, k.GetPropertyNumber(Env(), kThis, PIDX_State));
    EXPECT_EQ(OPOS_PS_UNKNOWN, k.GetPropertyNumber(Env(), kThis, PIDX_PowerState));
    EXPECT_EQ("", Text(k.GetPropertyString(Env(), kThis, PIDX_DeviceDescription)));
    EXPECT_EQ(0, k.SetPropertyNumber(Env(), kThis, PIDX_DeviceEnabled, 1));
    EXPECT_EQ(OPOS_E_NOTCLAIMED, k.GetPropertyNumber(Env(), kThis, PIDX_ResultCode));
    EXPECT_EQ(0, k.ClaimDevice(Env(), kThis, 12345));
    EXPECT_EQ(1, k.GetPropertyNumber(Env(), kThis, PIDX_Claimed));
    EXPECT_EQ(callsBefore + 1, count());
    EXPECT_EQ(0, k.SetPropertyNumber(Env(), kThis, PIDX_AutoDisable, 2));
    EXPECT_EQ(2, k.GetPropertyNumber(Env(), kThis, PIDX_AutoDisable));
    k.COFreezeEvents(Env(), kThis, 1);
    EXPECT_EQ(1, k.GetPropertyNumber(Env(), kThis, PIDX_FreezeEvents));
    k.COFreezeEvents(Env(), kThis, 0);
    EXPECT_EQ(0, k.GetPropertyNumber(Env(), kThis, PIDX_FreezeEvents));
    EXPECT_EQ(0, k.ClearInput(Env(), kThis));
    EXPECT_EQ(0, k.ReleaseDevice(Env(), kThis));
    EXPECT_EQ(1, k.GetPropertyNumber(Env(), kThis, PIDX_DeviceEnabled));
    EXPECT_EQ(0, k.Close(Env(), kThis));
    EXPECT_EQ(OPOS_S_CLOSED, k.GetPropertyNumber(Env(), kThis, PIDX_State));
    qds::plat::FreeLib(addOn);
}

// The extension natives: a waiter sleeping in waitEvent is woken by Close; the connection
// state shows that the run-time lookup found the test double's tvx_register_status in the
// loaded framework module; the reason arrives as a Java string.
struct EventWaiter {
    static uint32_t Run(void* p) {
        auto* self = static_cast<EventWaiter*>(p);
        self->started.Set();
        self->bits = K().waitEvent(self->env, kThis, -1);
        self->done.Set();
        return 0;
    }
    JNIEnv* env = Env();  // taken on the test's thread: Env() writes the shared table
    std::atomic<jint> bits{-100};
    qds::plat::CEvent started{true, false};
    qds::plat::CEvent done{true, false};
    qds::plat::CThread thread;
};

TEST_F(JniExportsTest, EventWaitStateAndReason) {
    constexpr jint kClosed = 4, kStateOffline = 0;
    Kolvex& k = K();
    // Not open: answers at once (with what the earlier test's close left pending).
    EXPECT_EQ(kClosed, k.waitEvent(Env(), kThis, -1) & kClosed);
    EXPECT_EQ(OPOS_E_CLOSED, k.ClaimDevice(Env(), kThis, 0));
    jstring reason = k.lastReason(Env(), kThis);
    ASSERT_NE(nullptr, reason);
    EXPECT_EQ(u"ClaimDevice failed: not opened", *reinterpret_cast<std::u16string*>(reason));

    ASSERT_EQ(OPOS_SUCCESS, k.Open(Env(), kThis, DEV_TYPE2, COMM_HID, 0, 0));
    EXPECT_EQ(kStateOffline, k.connectionState(Env(), kThis));
    EXPECT_EQ(0, k.waitEvent(Env(), kThis, 0));
    EXPECT_EQ(u"", *reinterpret_cast<std::u16string*>(k.lastReason(Env(), kThis)));

    EventWaiter w;
    ASSERT_TRUE(w.thread.Start(&EventWaiter::Run, &w));
    ASSERT_EQ(qds::plat::WaitResult::Signaled, w.started.Wait(20000));
    EXPECT_EQ(0, k.Close(Env(), kThis));
    ASSERT_EQ(qds::plat::WaitResult::Signaled, w.done.Wait(20000));
    EXPECT_EQ(kClosed, w.bits.load() & kClosed);
    w.thread.Join();
}

}  // namespace
