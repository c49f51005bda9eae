/* Machine-dependent JNI types for the Windows builds of Kolvex (MinGW-w64). */
#ifndef KOLVEX_JNI_MD_H
#define KOLVEX_JNI_MD_H

#include <stdint.h>

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef int32_t jint;
typedef int64_t jlong;
typedef signed char jbyte;

#endif
