// The Java event sink through which the service object would call back into Java. This
// system never attaches one (m_pJniEvents stays null), so no call reaches Java from here.
#pragma once

#include <jni.h>

namespace qds::OPOS {

class JNIEvents {
  public:
    JNIEvents(JNIEnv* env, jobject object, jmethodID errorMethod)
        : m_errorMethod(errorMethod), m_pEnv(env), m_object(object) {}
    ~JNIEvents();
    JNIEvents(const JNIEvents&) = delete;
    JNIEvents& operator=(const JNIEvents&) = delete;

    void SOData();
    // Calls the error method with (5, 10). Must run on the thread that owns the environment.
    void ErrorEvent();

  private:
    jmethodID m_errorMethod;
    JNIEnv* m_pEnv;
    jobject m_object;
};

}  // namespace qds::OPOS
