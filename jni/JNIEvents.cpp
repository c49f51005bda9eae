#include "jni/JNIEvents.h"

#include "trace/TraceLog.h"

namespace qds::OPOS {

JNIEvents::~JNIEvents() {
    CTraceScope scope("qds::OPOS::JNIEvents::~JNIEvents");
}

void JNIEvents::SOData() {
    CTraceScope scope("qds::OPOS::JNIEvents::SOData");
}

void JNIEvents::ErrorEvent() {
    CTraceScope scope("qds::OPOS::JNIEvents::ErrorEvent");
    if (m_pEnv != nullptr && m_object != nullptr && m_errorMethod != nullptr)
        m_pEnv->CallVoidMethod(m_object, m_errorMethod, static_cast<jint>(5),
                               static_cast<jint>(10));
}

}  // namespace qds::OPOS
