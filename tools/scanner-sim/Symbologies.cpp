#include "Symbologies.h"

#include "platform/text.h"

namespace sim {

namespace {

const Symbology kTable[] = {
    {"upca", 101, 0x07, 'c', 'c'},
    {"upce", 102, 0x06, 'h', 0},
    {"ean8", 103, 0x04, 'g', 0},
    {"ean13", 104, 0x05, 'd', 'd'},
    {"std2of5", 105, 0x1A, 0, 0},
    {"itf", 106, 0x08, 'e', 'e'},
    {"codabar", 107, 0x0F, 'a', 'a'},
    {"code39", 108, 0x0D, 'b', 'b'},
    {"code93", 109, 0x11, 'y', 'i'},
    {"code128", 110, 0x02, 'j', 'j'},
    {"upca+s", 111, 0x84, 0, 0},
    {"upce+s", 112, 0x83, 0, 0},
    {"ean8+s", 118, 0x81, 0, 0},
    {"ean13+s", 119, 0x82, 0, 0},
    {"ean128", 120, 0x03, 'u', 0},
    {"ocrb", 122, 0x40, 0, 0},
    {"databar", 131, 0x1F, 'R', 0},
    {"databar-exp", 132, 0x85, 0, 0},
    {"pdf417", 201, 0x20, 0, 'r'},
    {"maxicode", 202, 0x24, 0, 'm'},
    {"datamatrix", 203, 0x23, 0, 'u'},
    {"qr", 204, 0x21, 0, 's'},
    {"microqr", 205, 0x86, 0, 0},
    {"aztec", 206, 0x22, 0, 'z'},
    {"micropdf", 207, 0x2A, 0, 0},
    {"other", 501, 0x0B, 'f', 'f'},
    {nullptr, 0, -1, 0, 0},
};

bool SameName(const std::string& a, const char* b) {
    return qds::plat::AsciiEqualNoCase(a, b);
}

}  // namespace

const Symbology* FindSymbology(const std::string& name) {
    for (const Symbology* s = kTable; s->name != nullptr; ++s) {
        if (SameName(name, s->name)) return s;
    }
    return nullptr;
}

const Symbology* AllSymbologies() {
    return kTable;
}

}  // namespace sim
