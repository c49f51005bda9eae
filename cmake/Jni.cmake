# JNI headers come from the JDK on this machine. For the Windows builds the JDK's
# Linux jni_md.h is replaced by our own (jni/win32/jni_md.h): stdcall JNICALL, dllexport.
set(KOLVEX_JDK_HOME "/usr/lib/jvm/default-java" CACHE PATH "JDK used for jni.h and the Java parts")
if(NOT EXISTS "${KOLVEX_JDK_HOME}/include/jni.h")
  message(FATAL_ERROR "jni.h not found under ${KOLVEX_JDK_HOME}; run tools/install-deps.sh")
endif()
add_library(kolvex_jni_headers INTERFACE)
if(WIN32)
  target_include_directories(kolvex_jni_headers SYSTEM INTERFACE
    ${CMAKE_SOURCE_DIR}/jni/win32 ${KOLVEX_JDK_HOME}/include)
else()
  target_include_directories(kolvex_jni_headers SYSTEM INTERFACE
    ${KOLVEX_JDK_HOME}/include ${KOLVEX_JDK_HOME}/include/linux)
endif()
