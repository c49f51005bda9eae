// The native methods of com.jpos.scanner.Kolvex: each traces itself, takes the one service
// object and forwards to it. Properties travel by their OPOS index through the three
// generic entry points.
//
// Any Java thread may call; the JNI environment is used only within the call. No C++
// exception leaves an export: each catches at the boundary and returns its neutral result.
#include <jni.h>

#include <climits>
#include <string>

#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

// The Windows i686 build exports the stdcall-decorated names through Kolvex.def; the other
// builds export the plain JNI names. The build sets KOLVEX_JNI_DEF_EXPORTS accordingly.
#if defined(KOLVEX_JNI_DEF_EXPORTS)
#define KOLVEX_JNI_API extern "C"
#else
#define KOLVEX_JNI_API extern "C" JNIEXPORT
#endif

using qds::CTraceScope;
using qds::OPOS::CScannerCtrl;

namespace {

// A Java string's modified UTF-8 text for the duration of a scope. Once a conversion has
// failed (an exception is pending) no further conversion is attempted.
class CUtfText {
  public:
    CUtfText(JNIEnv* env, jstring str, bool allowed) : m_env(env), m_str(str) {
        if (allowed && env != nullptr && str != nullptr)
            m_text = env->GetStringUTFChars(str, nullptr);
    }
    ~CUtfText() {
        if (m_text != nullptr) m_env->ReleaseStringUTFChars(m_str, m_text);
    }
    CUtfText(const CUtfText&) = delete;
    CUtfText& operator=(const CUtfText&) = delete;
    const char* Get() const { return m_text; }

  private:
    JNIEnv* m_env;
    jstring m_str;
    const char* m_text = nullptr;
};

}  // namespace

KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_Kolvex_Open(JNIEnv*, jobject, jint devType,
                                                              jint commuType, jint comPort,
                                                              jint keepDataEvents) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_Open");
        CScannerCtrl& ctrl = CScannerCtrl::Instance();
        const int32_t ret = ctrl.Open(devType, commuType, comPort, keepDataEvents > 0);
        ctrl.m_pJniEvents = nullptr;
        // The service's own result, so that a refused Open is visible to the caller.
        return ret;
    } catch (...) {
        return qds::OPOS::OPOS_E_FAILURE;
    }
}

KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_Kolvex_Close(JNIEnv*, jobject) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_Close");
        CScannerCtrl::Instance().Close();
    } catch (...) {
    }
    return 0;
}

KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_Kolvex_LoadAddOn(
    JNIEnv* env, jobject, jstring libFile, jstring funcName, jint channel, jint activeValue,
    jint pulseOnScan, jint pulseMs, jint suffix) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_LoadAddOn");
        CUtfText lib(env, libFile, true);
        CUtfText func(env, funcName, libFile == nullptr || lib.Get() != nullptr);
        CScannerCtrl::Instance().LoadAddOn(lib.Get(), func.Get(), channel, activeValue, pulseOnScan,
                                           pulseMs, suffix);
    } catch (...) {
    }
    return 1;
}

KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_Kolvex_ClaimDevice(JNIEnv*, jobject, jint) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_ClaimDevice");
        return CScannerCtrl::Instance().ClaimDevice();
    } catch (...) {
        return qds::OPOS::OPOS_E_FAILURE;
    }
}

KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_Kolvex_ClearInput(JNIEnv*, jobject) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_ClearInput");
        return CScannerCtrl::Instance().ClearInput();
    } catch (...) {
        return qds::OPOS::OPOS_E_FAILURE;
    }
}

KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_Kolvex_DirectIO(JNIEnv*, jobject, jint, jintArray,
                                                                  jobject) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_DirectIO");
    } catch (...) {
    }
    return 0;
}

KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_Kolvex_ReleaseDevice(JNIEnv*, jobject) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_ReleaseDevice");
        return CScannerCtrl::Instance().Release();
    } catch (...) {
        return qds::OPOS::OPOS_E_FAILURE;
    }
}

KOLVEX_JNI_API void JNICALL Java_com_jpos_scanner_Kolvex_COFreezeEvents(JNIEnv*, jobject,
                                                                        jint freeze) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_COFreezeEvents", freeze);
        CScannerCtrl::Instance().SetFreezeEvents(freeze);
    } catch (...) {
    }
}

KOLVEX_JNI_API jbyteArray JNICALL Java_com_jpos_scanner_Kolvex_GetPropertyString(JNIEnv* env,
                                                                                 jobject,
                                                                                 jint index) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_GetPropertyString", index);
        if (env == nullptr) return nullptr;
        // A copy taken under the data lock: a delivery on another thread cannot tear it.
        std::string text;
        CScannerCtrl::Instance().GetPropertyString(index, text);
        if (text.size() > static_cast<size_t>(INT_MAX)) return nullptr;
        const jsize len = static_cast<jsize>(text.size());
        // On failure the JVM's exception (OutOfMemoryError) is left pending for the caller.
        jbyteArray array = env->NewByteArray(len);
        if (array == nullptr) return nullptr;
        if (len > 0)
            env->SetByteArrayRegion(array, 0, len, reinterpret_cast<const jbyte*>(text.data()));
        return array;
    } catch (...) {
        return nullptr;
    }
}

KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_Kolvex_SetPropertyNumber(JNIEnv*, jobject,
                                                                           jint index, jint value) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_SetPropertyNumber", index);
        CScannerCtrl::Instance().SetPropertyNumber(index, value);
    } catch (...) {
    }
    return 0;
}

KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_Kolvex_GetPropertyNumber(JNIEnv*, jobject,
                                                                           jint index) {
    try {
        CTraceScope scope("Java_com_jpos_scanner_Kolvex_GetPropertyNumber", index);
        return CScannerCtrl::Instance().GetPropertyNumber(index);
    } catch (...) {
        return 0;
    }
}
