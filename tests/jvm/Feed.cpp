// Test-only JNI library for the JVM tests: drives the framework test double that stands in
// for Tavrix (the same instance Kolvex talks to), so Java tests can hand bytes to the
// receive path and let the "scanner" answer command frames.
#include <jni.h>

#include <string>

#include "platform/dynlib.h"
#include "service/Commands.h"
#include "tests/support/FakeTavrix.h"

extern "C" {

JNIEXPORT void JNICALL Java_com_jpos_scanner_tests_Feed_reset(JNIEnv*, jclass) {
    fake::FakeTavrix::Get().Reset();
}

// answer: 0 none, otherwise the byte sent back for every command frame (kFrameSize bytes).
JNIEXPORT void JNICALL Java_com_jpos_scanner_tests_Feed_answerFrames(JNIEnv*, jclass, jint answer) {
    fake::FakeTavrix& fake = fake::FakeTavrix::Get();
    if (answer == 0) {
        fake.SetWriteHook(nullptr);
        return;
    }
    const std::string reply(1, static_cast<char>(answer));
    fake.SetWriteHook([reply](const std::string& bytes) {
        if (bytes.size() == qds::OPOS::kFrameSize) fake::FakeTavrix::Get().Deliver(reply);
    });
}

// reason null: tvx_open succeeds again; otherwise it fails and tvx_last_error gives reason.
JNIEXPORT void JNICALL Java_com_jpos_scanner_tests_Feed_failOpen(JNIEnv* env, jclass,
                                                                 jstring reason) {
    fake::FakeTavrix& fake = fake::FakeTavrix::Get();
    if (reason == nullptr) {
        fake.SetOpenFails(false);
        fake.SetOpenReason("");
        return;
    }
    const char* text = env->GetStringUTFChars(reason, nullptr);
    if (text == nullptr) return;
    fake.SetOpenReason(text);
    env->ReleaseStringUTFChars(reason, text);
    fake.SetOpenFails(true);
}

// Hands a lost (0) or back (1) status to the status callback and returns once it has run.
JNIEXPORT void JNICALL Java_com_jpos_scanner_tests_Feed_status(JNIEnv*, jclass, jint status) {
    fake::FakeTavrix& fake = fake::FakeTavrix::Get();
    fake.SendStatus(status);
    fake.WaitIdle();
}

// Hands the bytes to the receive callback and returns once it has run.
JNIEXPORT void JNICALL Java_com_jpos_scanner_tests_Feed_deliver(JNIEnv* env, jclass,
                                                                jbyteArray bytes) {
    const jsize n = env->GetArrayLength(bytes);
    std::string data(static_cast<size_t>(n), '\0');
    env->GetByteArrayRegion(bytes, 0, n, reinterpret_cast<jbyte*>(&data[0]));
    fake::FakeTavrix& fake = fake::FakeTavrix::Get();
    fake.Deliver(data);
    fake.WaitIdle();
}

JNIEXPORT jint JNICALL Java_com_jpos_scanner_tests_Feed_count(JNIEnv* env, jclass, jstring fn) {
    const char* name = env->GetStringUTFChars(fn, nullptr);
    if (name == nullptr) return -1;
    const jint n = static_cast<jint>(fake::FakeTavrix::Get().CountOf(name));
    env->ReleaseStringUTFChars(fn, name);
    return n;
}

// The calls that the recording test add-on saw, as (word, channel, level) triples.
JNIEXPORT jintArray JNICALL Java_com_jpos_scanner_tests_Feed_addOnCalls(JNIEnv* env, jclass,
                                                                        jstring lib) {
    using CountFn = int32_t (*)();
    using GetFn = int32_t (*)(int32_t, uint32_t*, uint32_t*, uint32_t*);
    const char* file = env->GetStringUTFChars(lib, nullptr);
    if (file == nullptr) return nullptr;
    qds::plat::LibHandle h = qds::plat::LoadLib(file);  // the module Kolvex already loaded
    env->ReleaseStringUTFChars(lib, file);
    auto count = reinterpret_cast<CountFn>(qds::plat::GetSymbol(h, "TestAddOnCallCount"));
    auto get = reinterpret_cast<GetFn>(qds::plat::GetSymbol(h, "TestAddOnGetCall"));
    if (count == nullptr || get == nullptr) return nullptr;
    const int32_t n = count();
    jintArray out = env->NewIntArray(3 * n);
    if (out == nullptr) return nullptr;
    for (int32_t i = 0; i < n; ++i) {
        uint32_t v[3] = {};
        get(i, &v[0], &v[1], &v[2]);
        const jint j[3] = {static_cast<jint>(v[0]), static_cast<jint>(v[1]),
                           static_cast<jint>(v[2])};
        env->SetIntArrayRegion(out, 3 * i, 3, j);
    }
    qds::plat::FreeLib(h);
    return out;
}

}  // extern "C"
