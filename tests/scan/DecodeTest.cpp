// Symbology decoding: every code identifier of the three tables against its UnifiedPOS
// number, every other value against 0, and the label rules through a real delivery.
#include <map>

#include "tests/support/CoreFixture.h"
#include "tests/support/TraceCapture.h"

using namespace qds::OPOS;
using core_test::Bytes;

namespace {

using CodeMap = std::map<uint8_t, int32_t>;

CodeMap Type3Codes() {
    CodeMap m = {{0x07, 101}, {0x06, 102}, {0x04, 103}, {0x05, 104}, {0x18, 104}, {0x1A, 105},
                 {0x08, 106}, {0x09, 106}, {0x0A, 106}, {0x0F, 107}, {0x0D, 108}, {0x11, 109},
                 {0x02, 110}, {0x84, 111}, {0x83, 112}, {0x81, 118}, {0x82, 119}, {0x03, 120},
                 {0x40, 122}, {0x1F, 131}, {0x85, 132}, {0x20, 201}, {0x24, 202}, {0x23, 203},
                 {0x21, 204}, {0x86, 205}, {0x22, 206}, {0x2A, 207}};
    for (uint8_t b :
         {0x0B, 0x19, 0x1B, 0x1C, 0x1D, 0x1E, 0x27, 0x29, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65})
        m[b] = 501;
    return m;
}

CodeMap Type24Codes() {
    CodeMap m = {{'c', 101}, {'h', 102}, {'g', 103}, {'B', 104}, {'d', 104},
                 {'n', 104}, {'e', 106}, {'q', 106}, {'r', 106}, {'a', 107},
                 {'b', 108}, {'y', 109}, {'j', 110}, {'u', 120}, {'R', 131}};
    for (char c : std::string("filmopstvwz")) m[static_cast<uint8_t>(c)] = 501;
    return m;
}

CodeMap Type1Codes() {
    CodeMap m = {{'c', 101}, {'B', 104}, {'d', 104}, {'g', 104}, {'e', 106},
                 {'a', 107}, {'b', 108}, {'i', 109}, {'j', 110}, {'r', 201},
                 {'m', 202}, {'u', 203}, {'s', 204}, {'z', 206}};
    for (char c : std::string("HIfhnv")) m[static_cast<uint8_t>(c)] = 501;
    return m;
}

struct FamilyCase {
    int32_t devType;
    CodeMap codes;
};

TEST(DecodeDataToDataType, EveryByteValueOfEveryFamily) {
    const FamilyCase cases[] = {{DEV_TYPE3, Type3Codes()},  {DEV_TYPE2, Type24Codes()},
                                {DEV_TYPE4, Type24Codes()}, {DEV_TYPE1, Type1Codes()},
                                {0, Type1Codes()},          {5, Type1Codes()},
                                {-1, Type1Codes()}};
    for (const FamilyCase& c : cases) {
        SCOPED_TRACE(c.devType);
        CScannerCtrl ctrl;
        ctrl.m_DevType = c.devType;
        for (int v = 0; v < 256; ++v) {
            SCOPED_TRACE(v);
            const auto it = c.codes.find(static_cast<uint8_t>(v));
            const int32_t expected = it == c.codes.end() ? 0 : it->second;
            const std::string scan = c.devType == DEV_TYPE3
                                         ? Bytes({RECORD_V1, static_cast<uint8_t>(v)}) + "123456"
                                         : std::string(1, static_cast<char>(v)) + "123456";
            EXPECT_EQ(expected, ctrl.DecodeDataToDataType(scan));
        }
    }
}

TEST(DecodeDataToDataType, FamiliesDifferWhereTheTablesDiffer) {
    struct Case {
        int32_t devType;
        std::string scan;
        int32_t type;
    } cases[] = {
        {DEV_TYPE1, "g1234567", 104},
        {DEV_TYPE2, "g1234567", 103},
        {DEV_TYPE4, "k1234567", 0},
        {DEV_TYPE4, "f1234567", 501},
        {DEV_TYPE2, "y1234567", 109},
        {DEV_TYPE1, "y1234567", 0},
        {DEV_TYPE1, "i1234567", 109},
        {DEV_TYPE2, "x1234567", 0},
        {DEV_TYPE2, "Z1234567", 0},
        {DEV_TYPE2, "R1234567", 131},
        {DEV_TYPE1, "R1234567", 0},
        {DEV_TYPE3, Bytes({RECORD_V2, 0x21, 0x00, 0, 0, 0, 'A'}), 204},
        {DEV_TYPE3, Bytes({RECORD_V1, 0x80, 'A'}), 0},
        {DEV_TYPE3, Bytes({RECORD_V1, 0x87, 'A'}), 0},
        {DEV_TYPE3, Bytes({RECORD_V1, 0xFF, 'A'}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scan);
        CScannerCtrl ctrl;
        ctrl.m_DevType = c.devType;
        EXPECT_EQ(c.type, ctrl.DecodeDataToDataType(c.scan));
    }
}

TEST(DecodeDataToDataType, ScansShorterThanThreeBytesAreUnknown) {
    for (int32_t devType : {DEV_TYPE1, DEV_TYPE2, DEV_TYPE3, DEV_TYPE4}) {
        CScannerCtrl ctrl;
        ctrl.m_DevType = devType;
        for (const std::string& scan :
             {std::string(), std::string("c"), std::string("c1"), Bytes({RECORD_V1, 0x07})})
            EXPECT_EQ(0, ctrl.DecodeDataToDataType(scan)) << devType << " " << scan.size();
    }
}

TEST(DecodeDataToDataType, Type3CodesWithTheHighBitSet) {
    CScannerCtrl ctrl;
    ctrl.m_DevType = DEV_TYPE3;
    const int32_t expected[] = {118, 119, 112, 111, 132, 205};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(expected[i], ctrl.DecodeDataToDataType(
                                   Bytes({RECORD_V1, static_cast<uint8_t>(0x81 + i), 'x'})));
}

struct LabelCase {
    const char* name;
    int32_t devType;
    int32_t decode;
    std::string scan;
    int32_t type;
    std::string scanData;
    std::string label;
};

class LabelRules : public core_test::CoreTest {};

TEST_F(LabelRules, DeliveredScanIsCutByDeviceTypeAndRecordVersion) {
    const std::string digits12 = "012345678905";
    const std::string label10 = "ABCDEFGHIJ";
    const LabelCase cases[] = {
        {"type2 c + 12 digits decoded", DEV_TYPE2, 1, "c" + digits12, 101, digits12, digits12},
        {"type2 c + 12 digits undecoded", DEV_TYPE2, 0, "c" + digits12, 0, digits12, ""},
        {"type1 g decoded", DEV_TYPE1, 1, "g1234567", 104, "1234567", "1234567"},
        {"two bytes", DEV_TYPE2, 1, "cX", 0, "X", "X"},
        {"one byte", DEV_TYPE2, 1, "c", 0, "", ""},
        {"type3 v1, code 02, 10-byte label", DEV_TYPE3, 1, Bytes({RECORD_V1, 0x02}) + label10, 110,
         label10, label10},
        {"type3 v1 without label", DEV_TYPE3, 1, Bytes({RECORD_V1, 0x02}), 0, "", ""},
        {"type3 v1 undecoded", DEV_TYPE3, 0, Bytes({RECORD_V1, 0x02}) + "AB", 0, "AB", ""},
        {"type3 v2 of 7 bytes", DEV_TYPE3, 1, Bytes({RECORD_V2, 0x05, 'K', 'x', 'y', 'z', 'L'}),
         104, "KL", "L"},
        {"type3 v2 of 6 bytes, code 21", DEV_TYPE3, 1, Bytes({RECORD_V2, 0x21, 'K', 'x', 'y', 'z'}),
         204, "", ""},
        {"type3 v2 longer", DEV_TYPE3, 1, Bytes({RECORD_V2, 0x07, 'K', 1, 2, 3}) + "0123", 101,
         "K0123", "0123"},
        {"type3 label with NUL", DEV_TYPE3, 1, Bytes({RECORD_V1, 0x02, 'A', 0x00, 'B'}), 110,
         Bytes({'A', 0x00, 'B'}), Bytes({'A', 0x00, 'B'})},
        {"type3 unknown record kind", DEV_TYPE3, 1, Bytes({0x05, 0x02, 'A', 'B'}), 110, "", ""},
    };
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto ctrl = Opened(c.devType, COMM_HID);
        ctrl->m_DecodeData = c.decode;
        ctrl->PushFifoData(c.scan);
        ctrl->SetDataEventEnabled(1);
        EXPECT_EQ(0, ctrl->GetPropertyNumber(PIDX_DataCount));
        EXPECT_EQ(c.type, ctrl->GetPropertyNumber(PIDXScan_ScanDataType));
        std::string data, label;
        ctrl->GetPropertyString(PIDXScan_ScanData, data);
        ctrl->GetPropertyString(PIDXScan_ScanDataLabel, label);
        EXPECT_EQ(c.scanData, data);
        EXPECT_EQ(c.label, label);
    }
}

TEST_F(LabelRules, DeliveryLogsTheDecodedTypeAndLength) {
    auto ctrl = Opened(DEV_TYPE2, COMM_HID);
    testing_support::TraceCapture trace;
    ctrl->m_DecodeData = 1;
    ctrl->PushFifoData("c012345678905");
    ctrl->SetDataEventEnabled(1);
    EXPECT_TRUE(trace.Contains("DecodeType:101,DataLen:8"));
    ctrl->m_DecodeData = 0;
    ctrl->PushFifoData("c012345678905");
    ctrl->SetDataEventEnabled(1);
    EXPECT_TRUE(trace.Contains("UnDecodeType,DataLen:13"));
    ctrl->m_DecodeData = 1;
    ctrl->PushFifoData("c1");
    ctrl->SetDataEventEnabled(1);
    EXPECT_TRUE(trace.Contains("DecodeType:0,DataLen:-3"));
}

}  // namespace
