// The native methods of com.jpos.scanner.KolvexEvents, beside the eleven of
// com.jpos.scanner.Kolvex: the event wait, the connection state and the last failure reason
// of the one service object.
//
// None of them traces: a listener sleeps in waitEvent for as long as nothing happens, and an
// idle listener must leave the trace file alone. No C++ exception leaves an export.
#include <jni.h>

#include <string>
#include <vector>

#include "service/ScannerCtrl.h"

// Exported as in KolvexJni.cpp: stdcall-decorated through Kolvex.def on Windows i686.
#if defined(KOLVEX_JNI_DEF_EXPORTS)
#define KOLVEX_JNI_API extern "C"
#else
#define KOLVEX_JNI_API extern "C" JNIEXPORT
#endif

using qds::OPOS::CScannerCtrl;

namespace {

// UTF-8 to UTF-16, each malformed sequence becoming U+FFFD: the reason comes from the OS and
// the framework, and NewStringUTF would take only well-formed modified UTF-8.
std::vector<jchar> Utf16(const std::string& text) {
    std::vector<jchar> out;
    out.reserve(text.size());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(text[i]);
        int more = 0;
        uint32_t cp = 0;
        uint32_t least = 0;
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        } else if (b >= 0xC2 && b < 0xE0) {
            more = 1;
            cp = b & 0x1Fu;
            least = 0x80;
        } else if (b >= 0xE0 && b < 0xF0) {
            more = 2;
            cp = b & 0x0Fu;
            least = 0x800;
        } else if (b >= 0xF0 && b < 0xF5) {
            more = 3;
            cp = b & 0x07u;
            least = 0x10000;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        size_t j = i + 1;
        for (; j < n && j <= i + static_cast<size_t>(more); ++j) {
            const auto c = static_cast<unsigned char>(text[j]);
            if ((c & 0xC0) != 0x80) break;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if (j != i + 1 + static_cast<size_t>(more) || cp < least || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp < 0xE000)) {
            out.push_back(0xFFFD);
            i = j > i + 1 ? j : i + 1;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<jchar>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<jchar>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<jchar>(cp));
        }
        i = j;
    }
    return out;
}

}  // namespace

// Blocks up to timeoutMs (negative: no limit) for the next events; a bit mask of
// EVENT_DATA, EVENT_STATUS and EVENT_CLOSED, 0 after the time-out.
KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_KolvexEvents_waitEvent(JNIEnv*, jobject,
                                                                         jint timeoutMs) {
    try {
        return CScannerCtrl::Instance().m_Events.Wait(timeoutMs);
    } catch (...) {
        return qds::OPOS::EVENT_CLOSED;
    }
}

KOLVEX_JNI_API jint JNICALL Java_com_jpos_scanner_KolvexEvents_connectionState(JNIEnv*, jobject) {
    try {
        return CScannerCtrl::Instance().m_Events.State();
    } catch (...) {
        return qds::OPOS::CONN_UNKNOWN;
    }
}

// The last failure's reason; "" when there is none. Null only with a pending Java exception.
KOLVEX_JNI_API jstring JNICALL Java_com_jpos_scanner_KolvexEvents_lastReason(JNIEnv* env, jobject) {
    try {
        if (env == nullptr) return nullptr;
        const std::vector<jchar> text = Utf16(CScannerCtrl::Instance().m_Events.Reason());
        const jchar none = 0;
        return env->NewString(text.empty() ? &none : text.data(), static_cast<jsize>(text.size()));
    } catch (...) {
        return nullptr;
    }
}
