// Symbology decoding: the scan data type from the code identifier, and the cutting of a
// scan text into ScanData and ScanDataLabel.
#include "scan/DecodeTables.h"
#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

namespace qds::OPOS {

namespace {
constexpr size_t kMinDecodable = 3;  // shorter scans carry no label to identify
}  // namespace

int32_t CScannerCtrl::DecodeDataToDataType(const std::string& scan) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::DecodeDataToDataType");
    if (scan.size() < kMinDecodable) return 0;
    const CodeIdFamily family = FamilyOfDevType(m_DevType);
    const char code = family == CodeIdFamily::Type3 ? scan[kRecordCodeIdAt] : scan[0];
    return ScanDataTypeOf(family, static_cast<uint8_t>(code));
}

void CScannerCtrl::ApplyLabelRules(const std::string& scan) {
    const size_t n = scan.size();
    size_t labelStart = 0;
    if (m_DevType != DEV_TYPE3) {
        // The first byte is the Code ID prefix, removed whether decoding or not.
        if (n >= 2) m_ScanData.assign(scan, 1, std::string::npos);
    } else if (n > 0 && scan[0] == RECORD_V1) {
        if (n >= kRecordV1LabelAt + 1) m_ScanData.assign(scan, kRecordV1LabelAt, std::string::npos);
    } else if (n > 0 && scan[0] == RECORD_V2) {
        if (n >= kRecordV2LabelAt + 1) {
            m_ScanData.assign(1, scan[kRecordV2KeptAt]);
            m_ScanData.append(scan, kRecordV2LabelAt, std::string::npos);
            labelStart = 1;
        }
    }
    if (m_DecodeData != 0 && !m_ScanData.empty())
        m_ScanDataLabel.assign(m_ScanData, labelStart, std::string::npos);
}

}  // namespace qds::OPOS
