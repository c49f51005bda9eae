// Vantrel: the HID-POS transport plug-in. Its one export fills the caller's function table.
#include "hid_plugin/PlugTable.h"

extern "C" KX_EXPORT int32_t KX_CDECL GetPlugDllFuns(PlugDllFuns* table) {
    return qds::hid::FillPlugDllFuns(table);
}
