// A library that is not a transport plug-in: it lacks GetPlugDllFuns.
#include "platform/export.h"

extern "C" KX_EXPORT int KX_CDECL NotAPlugIn() {
    return 1;
}
