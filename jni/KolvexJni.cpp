// STUB: replaced by the JNI native methods.
#include <jni.h>
