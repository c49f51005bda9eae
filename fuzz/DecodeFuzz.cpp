// Symbology decoding and the label rules: a scan text as the receive path queues it, cut into
// ScanData, ScanDataLabel and ScanDataType, for every device type and DecodeData setting.
//
// Input: byte 0 picks the device type (1 to 4, or 7) and DecodeData; the rest is the scan.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/sync.h"
#include "service/ScannerCtrl.h"

using namespace qds::OPOS;

namespace {

bool KnownType(int32_t t) {
    return t == 0 || (t >= 101 && t <= 207) || t == 501;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("KOLVEX_REGISTRY", "/nonexistent/kolvex-fuzz.reg", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const int32_t kTypes[] = {DEV_TYPE1, DEV_TYPE2, DEV_TYPE3, DEV_TYPE4, 7};
    static CScannerCtrl* ctrl = [] {
        auto* c = new CScannerCtrl;
        c->Open(DEV_TYPE1, COMM_HID, 0, false);
        return c;
    }();
    const std::string scan(reinterpret_cast<const char*>(data + 1), size - 1);
    ctrl->m_DevType = kTypes[data[0] % 5];
    ctrl->m_DecodeData = (data[0] & 0x80) != 0 ? 1 : 0;

    const int32_t type = ctrl->DecodeDataToDataType(scan);
    FUZZ_CHECK(KnownType(type));
    {
        qds::plat::CLock lock(ctrl->m_csData);
        ctrl->m_ScanData.clear();
        ctrl->m_ScanDataLabel.clear();
        ctrl->ApplyLabelRules(scan);
        const std::string& d = ctrl->m_ScanData;
        const std::string& l = ctrl->m_ScanDataLabel;
        FUZZ_CHECK(d.size() <= scan.size());
        FUZZ_CHECK(l.size() <= d.size());
        // The label is the end of the data, and is given only while decoding.
        FUZZ_CHECK(d.compare(d.size() - l.size(), l.size(), l) == 0);
        if (ctrl->m_DecodeData == 0) FUZZ_CHECK(l.empty());
        // The data is the end of the scan text, apart from the version 2 record's kept byte.
        if (!d.empty() && !(ctrl->m_DevType == DEV_TYPE3 && scan[0] == RECORD_V2))
            FUZZ_CHECK(scan.compare(scan.size() - d.size(), d.size(), d) == 0);
    }
    return 0;
}
