#include "scan/DecodeTables.h"

#include <array>
#include <cstddef>

#include "service/ScannerTypes.h"

namespace qds::OPOS {

namespace {

// UnifiedPOS scan data types.
enum : int32_t {
    SCAN_SDT_UPCA = 101,
    SCAN_SDT_UPCE = 102,
    SCAN_SDT_EAN8 = 103,
    SCAN_SDT_EAN13 = 104,
    SCAN_SDT_TF = 105,
    SCAN_SDT_ITF = 106,
    SCAN_SDT_Codabar = 107,
    SCAN_SDT_Code39 = 108,
    SCAN_SDT_Code93 = 109,
    SCAN_SDT_Code128 = 110,
    SCAN_SDT_UPCA_S = 111,
    SCAN_SDT_UPCE_S = 112,
    SCAN_SDT_EAN8_S = 118,
    SCAN_SDT_EAN13_S = 119,
    SCAN_SDT_EAN128 = 120,
    SCAN_SDT_OCRB = 122,
    SCAN_SDT_GS1DATABAR = 131,
    SCAN_SDT_GS1DATABAR_E = 132,
    SCAN_SDT_PDF417 = 201,
    SCAN_SDT_MAXICODE = 202,
    SCAN_SDT_DATAMATRIX = 203,
    SCAN_SDT_QRCODE = 204,
    SCAN_SDT_UQRCODE = 205,
    SCAN_SDT_AZTEC = 206,
    SCAN_SDT_UPDF417 = 207,
    SCAN_SDT_OTHER = 501,
};

struct CodeId {
    uint8_t code;
    int32_t type;
};

constexpr CodeId kType3Codes[] = {
    {0x07, SCAN_SDT_UPCA},    {0x06, SCAN_SDT_UPCE},       {0x04, SCAN_SDT_EAN8},
    {0x05, SCAN_SDT_EAN13},   {0x18, SCAN_SDT_EAN13},      {0x1A, SCAN_SDT_TF},
    {0x08, SCAN_SDT_ITF},     {0x09, SCAN_SDT_ITF},        {0x0A, SCAN_SDT_ITF},
    {0x0F, SCAN_SDT_Codabar}, {0x0D, SCAN_SDT_Code39},     {0x11, SCAN_SDT_Code93},
    {0x02, SCAN_SDT_Code128}, {0x84, SCAN_SDT_UPCA_S},     {0x83, SCAN_SDT_UPCE_S},
    {0x81, SCAN_SDT_EAN8_S},  {0x82, SCAN_SDT_EAN13_S},    {0x03, SCAN_SDT_EAN128},
    {0x40, SCAN_SDT_OCRB},    {0x1F, SCAN_SDT_GS1DATABAR}, {0x85, SCAN_SDT_GS1DATABAR_E},
    {0x20, SCAN_SDT_PDF417},  {0x24, SCAN_SDT_MAXICODE},   {0x23, SCAN_SDT_DATAMATRIX},
    {0x21, SCAN_SDT_QRCODE},  {0x86, SCAN_SDT_UQRCODE},    {0x22, SCAN_SDT_AZTEC},
    {0x2A, SCAN_SDT_UPDF417}, {0x0B, SCAN_SDT_OTHER},      {0x19, SCAN_SDT_OTHER},
    {0x1B, SCAN_SDT_OTHER},   {0x1C, SCAN_SDT_OTHER},      {0x1D, SCAN_SDT_OTHER},
    {0x1E, SCAN_SDT_OTHER},   {0x27, SCAN_SDT_OTHER},      {0x29, SCAN_SDT_OTHER},
    {0x60, SCAN_SDT_OTHER},   {0x61, SCAN_SDT_OTHER},      {0x62, SCAN_SDT_OTHER},
    {0x63, SCAN_SDT_OTHER},   {0x64, SCAN_SDT_OTHER},      {0x65, SCAN_SDT_OTHER},
};

constexpr CodeId kType24Codes[] = {
    {'c', SCAN_SDT_UPCA},    {'h', SCAN_SDT_UPCE},   {'g', SCAN_SDT_EAN8},
    {'B', SCAN_SDT_EAN13},   {'d', SCAN_SDT_EAN13},  {'n', SCAN_SDT_EAN13},
    {'e', SCAN_SDT_ITF},     {'q', SCAN_SDT_ITF},    {'r', SCAN_SDT_ITF},
    {'a', SCAN_SDT_Codabar}, {'b', SCAN_SDT_Code39}, {'y', SCAN_SDT_Code93},
    {'j', SCAN_SDT_Code128}, {'u', SCAN_SDT_EAN128}, {'R', SCAN_SDT_GS1DATABAR},
    {'f', SCAN_SDT_OTHER},   {'i', SCAN_SDT_OTHER},  {'l', SCAN_SDT_OTHER},
    {'m', SCAN_SDT_OTHER},   {'o', SCAN_SDT_OTHER},  {'p', SCAN_SDT_OTHER},
    {'s', SCAN_SDT_OTHER},   {'t', SCAN_SDT_OTHER},  {'v', SCAN_SDT_OTHER},
    {'w', SCAN_SDT_OTHER},   {'z', SCAN_SDT_OTHER},
};

constexpr CodeId kType1Codes[] = {
    {'c', SCAN_SDT_UPCA},   {'B', SCAN_SDT_EAN13},    {'d', SCAN_SDT_EAN13},
    {'g', SCAN_SDT_EAN13},  {'e', SCAN_SDT_ITF},      {'a', SCAN_SDT_Codabar},
    {'b', SCAN_SDT_Code39}, {'i', SCAN_SDT_Code93},   {'j', SCAN_SDT_Code128},
    {'r', SCAN_SDT_PDF417}, {'m', SCAN_SDT_MAXICODE}, {'u', SCAN_SDT_DATAMATRIX},
    {'s', SCAN_SDT_QRCODE}, {'z', SCAN_SDT_AZTEC},    {'H', SCAN_SDT_OTHER},
    {'I', SCAN_SDT_OTHER},  {'f', SCAN_SDT_OTHER},    {'h', SCAN_SDT_OTHER},
    {'n', SCAN_SDT_OTHER},  {'v', SCAN_SDT_OTHER},
};

using Lookup = std::array<int32_t, 256>;

// Spreads a list over all 256 byte values so that a lookup is one index.
template <size_t N>
constexpr Lookup MakeLookup(const CodeId (&codes)[N]) {
    Lookup table{};
    for (size_t i = 0; i < N; ++i) table[codes[i].code] = codes[i].type;
    return table;
}

constexpr Lookup kType3 = MakeLookup(kType3Codes);
constexpr Lookup kType24 = MakeLookup(kType24Codes);
constexpr Lookup kType1 = MakeLookup(kType1Codes);

}  // namespace

CodeIdFamily FamilyOfDevType(int32_t devType) {
    switch (devType) {
        case DEV_TYPE2:
        case DEV_TYPE4:
            return CodeIdFamily::Type24;
        case DEV_TYPE3:
            return CodeIdFamily::Type3;
        default:
            return CodeIdFamily::Type1;
    }
}

int32_t ScanDataTypeOf(CodeIdFamily family, uint8_t codeId) {
    switch (family) {
        case CodeIdFamily::Type3:
            return kType3[codeId];
        case CodeIdFamily::Type24:
            return kType24[codeId];
        case CodeIdFamily::Type1:
        default:
            return kType1[codeId];
    }
}

}  // namespace qds::OPOS
