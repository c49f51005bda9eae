// The framing rules alone: byte strings in, frames out, for every device type. No service
// object, no buffer, no clock: NextFrame is a pure function.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/Framing.h"

using namespace qds::OPOS;

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s.push_back(static_cast<char>(v));
    return s;
}

std::string PacketV1(int codeId, const std::string& label) {
    return Bytes({0x04, 0xFF, static_cast<int>(label.size() >> 8),
                  static_cast<int>(label.size() & 0xFF), codeId, 0xAA, 0xBB, 0xCC}) +
           label;
}
std::string PacketV2(const std::string& payload) {
    return Bytes({0x04, 0xFE, static_cast<int>(payload.size() >> 8),
                  static_cast<int>(payload.size() & 0xFF)}) +
           payload;
}

const char* KindName(FrameKind k) {
    switch (k) {
        case FrameKind::Scan:
            return "Scan";
        case FrameKind::Ack:
            return "Ack";
        case FrameKind::Nak:
            return "Nak";
        case FrameKind::StartMarker:
            return "StartMarker";
        case FrameKind::EndMarker:
            return "EndMarker";
        case FrameKind::Incomplete:
            return "Incomplete";
        case FrameKind::Drop:
            return "Drop";
    }
    return "?";
}

// One frame taken from the front of `in`.
struct Row {
    const char* name;
    int32_t devType;
    std::string in;
    FrameKind kind;
    int32_t used;
    std::string record;  // Scan only
};

std::string Record(const Frame& f) {
    std::string r;
    f.AssignRecord(r);
    return r;
}

void Check(const Row& r) {
    SCOPED_TRACE(std::string(r.name) + " (device type " + std::to_string(r.devType) + ")");
    const std::string in = r.in;  // a copy: the frame's body must point into it
    const auto* b = reinterpret_cast<const uint8_t*>(in.data());
    const Frame f = NextFrame(b, static_cast<int32_t>(in.size()), r.devType);
    EXPECT_STREQ(KindName(r.kind), KindName(f.kind));
    EXPECT_EQ(r.used, f.used);
    if (r.kind == FrameKind::Scan) {
        EXPECT_EQ(r.record, Record(f));
        if (f.bodyLen > 0) {
            // The body is a view of the input, not a copy.
            EXPECT_GE(f.body, b);
            EXPECT_LE(f.body + f.bodyLen, b + in.size());
        }
    } else {
        EXPECT_EQ(0, f.headLen);
        EXPECT_EQ(0, f.bodyLen);
    }
}

const std::string kLabel13 = "4006381333931";
const std::string kReply0 = Bytes({0x02, 0x00, 0x00, 0x02, 0x32, 0x30, 0xFF});
const std::string kReply1 = Bytes({0x02, 0x00, 0x00, 0x02, 0x32, 0x31, 0xFE});
const std::string kV1 = PacketV1(0x02, kLabel13);  // 21 bytes
const std::string kRecordV1 = std::string{RECORD_V1, '\x02'} + kLabel13;

TEST(NextFrame, DeviceType3Packets) {
    const std::string v2payload = Bytes({0x21, 0x00, 0x31, 0x00, 0x00}) + "QR-DATA";
    const std::string big(8188, 'x');
    const Row rows[] = {
        {"ACK", DEV_TYPE3, Bytes({0x06}), FrameKind::Ack, 1, ""},
        {"ACK before a packet takes one byte", DEV_TYPE3, Bytes({0x06}) + kV1, FrameKind::Ack, 1,
         ""},
        {"NAK", DEV_TYPE3, Bytes({0x15}), FrameKind::Nak, 1, ""},
        {"NAK then ACK: the NAK first", DEV_TYPE3, Bytes({0x15, 0x06}), FrameKind::Nak, 1, ""},
        {"reply 32 30", DEV_TYPE3, kReply0, FrameKind::Ack, 7, ""},
        {"reply 32 31 before a packet", DEV_TYPE3, kReply1 + kV1, FrameKind::Ack, 7, ""},
        {"reply cut short is held", DEV_TYPE3, kReply0.substr(0, 3), FrameKind::Incomplete, 0, ""},
        {"v1 packet", DEV_TYPE3, kV1, FrameKind::Scan, 21, kRecordV1},
        {"v1 packet followed by more", DEV_TYPE3, kV1 + PacketV1(0x0D, "A"), FrameKind::Scan, 21,
         kRecordV1},
        {"v1 packet with a 1-byte label (9 bytes)", DEV_TYPE3, PacketV1(0x07, "Z"), FrameKind::Scan,
         9, std::string{RECORD_V1, '\x07', 'Z'}},
        {"v1 label with NUL bytes kept whole", DEV_TYPE3, PacketV1(0x02, Bytes({'A', 0, 'B', 0})),
         FrameKind::Scan, 12, std::string{RECORD_V1, '\x02'} + Bytes({'A', 0, 'B', 0})},
        {"v2 packet", DEV_TYPE3, PacketV2(v2payload), FrameKind::Scan, 16,
         std::string{RECORD_V2} + v2payload},
        {"v2 packet with empty payload", DEV_TYPE3, PacketV2(""), FrameKind::Scan, 4,
         std::string{RECORD_V2}},
        {"v2 packet of 8192 bytes", DEV_TYPE3, PacketV2(big), FrameKind::Scan, 8192,
         std::string{RECORD_V2} + big},
        {"short v2 packet is held", DEV_TYPE3, PacketV2("ABCDE").substr(0, 6),
         FrameKind::Incomplete, 0, ""},
        {"long header announcing more is held", DEV_TYPE3, kV1.substr(0, 20), FrameKind::Incomplete,
         0, ""},
        {"one unknown byte is held", DEV_TYPE3, "A", FrameKind::Incomplete, 0, ""},
        {"nine unknown bytes are held", DEV_TYPE3, "ABCDEFGHI", FrameKind::Incomplete, 0, ""},
        {"ten unknown bytes are dropped", DEV_TYPE3, "0123456789", FrameKind::Drop, 10, ""},
        {"unknown version byte drops everything", DEV_TYPE3,
         Bytes({0x04, 0x01, 0x00, 0x02, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46}) + kV1, FrameKind::Drop,
         31, ""},
        {"text framing does not apply", DEV_TYPE3, "@@@@", FrameKind::Incomplete, 0, ""},
    };
    for (const Row& r : rows) Check(r);
}

TEST(NextFrame, DeviceTypes2And4Texts) {
    for (int32_t devType : {DEV_TYPE2, DEV_TYPE4}) {
        const Row rows[] = {
            {"start marker", devType, "@@@@", FrameKind::StartMarker, 4, ""},
            {"end marker", devType, "^^^^", FrameKind::EndMarker, 4, ""},
            {"marker with a NUL after it is a scan", devType, Bytes({'@', '@', '@', '@', 0}),
             FrameKind::Scan, 5, "@@@@"},
            {"command reply", devType, "!99904041;", FrameKind::Ack, 10, ""},
            {"two-character reply", devType, "!;", FrameKind::Ack, 2, ""},
            {"bracketed reply", devType, "@@@@0102!!!!", FrameKind::Ack, 12, ""},
            {"bracketed reply of exactly 8", devType, "@@@@!!!!", FrameKind::Ack, 8, ""},
            {"seven characters are a scan", devType, "@@@@!!!", FrameKind::Scan, 7, "@@@@!!!"},
            {"one character is a scan", devType, "!", FrameKind::Scan, 1, "!"},
            {"label", devType, "c" + kLabel13, FrameKind::Scan, 14, "c" + kLabel13},
            {"text up to an embedded NUL; all bytes used", devType, Bytes({'d', '1', 0, '2'}),
             FrameKind::Scan, 4, "d1"},
            {"reply ended by a NUL", devType, Bytes({'!', 'x', ';', 0, 'y'}), FrameKind::Ack, 5,
             ""},
            {"a packet is text here", devType, kV1, FrameKind::Scan, 21, Bytes({0x04, 0xFF})},
        };
        for (const Row& r : rows) Check(r);
    }
}

TEST(NextFrame, DeviceType1AndOtherNumbersArePlainText) {
    for (int32_t devType : std::initializer_list<int32_t>{DEV_TYPE1, 0, 5, 7, -1}) {
        const Row rows[] = {
            {"label", devType, "c4006", FrameKind::Scan, 5, "c4006"},
            {"two labels are one scan", devType, "a12\r\na34\r\n", FrameKind::Scan, 10,
             "a12\r\na34\r\n"},
            {"text up to an embedded NUL", devType, Bytes({'b', 'X', 0, 'Y'}), FrameKind::Scan, 4,
             "bX"},
            {"a leading NUL gives an empty scan", devType, Bytes({0, 'Y'}), FrameKind::Scan, 2, ""},
            {"ACK byte is a scan", devType, Bytes({0x06}), FrameKind::Scan, 1, Bytes({0x06})},
            {"markers are scans", devType, "^^^^", FrameKind::Scan, 4, "^^^^"},
            {"replies are scans", devType, "!;", FrameKind::Scan, 2, "!;"},
        };
        for (const Row& r : rows) Check(r);
    }
}

TEST(NextFrame, EmptyInputIsIncompleteForEveryType) {
    const uint8_t one = 0x06;
    for (int32_t devType :
         std::initializer_list<int32_t>{DEV_TYPE1, DEV_TYPE2, DEV_TYPE3, DEV_TYPE4, 0, 9}) {
        SCOPED_TRACE(devType);
        for (const Frame& f : {NextFrame(nullptr, 0, devType), NextFrame(&one, 0, devType),
                               NextFrame(&one, -5, devType), NextFrame(nullptr, 3, devType)}) {
            EXPECT_EQ(FrameKind::Incomplete, f.kind);
            EXPECT_EQ(0, f.used);
            EXPECT_EQ(0, f.headLen + f.bodyLen);
        }
    }
}

// Taking frames one after another from a buffer, as the receive path does, consumes a chunk
// of several frames exactly.
TEST(NextFrame, SuccessiveFramesConsumeABufferOfSeveral) {
    const std::string v2payload = Bytes({0x21, 0x00, 0x31, 0x00, 0x00}) + "QR";
    const std::string in = Bytes({0x06}) + PacketV2(v2payload) + kReply0 + kV1 + Bytes({0x15}) +
                           PacketV1(0x05, "B2").substr(0, 5);
    const auto* b = reinterpret_cast<const uint8_t*>(in.data());
    const int32_t n = static_cast<int32_t>(in.size());
    std::vector<std::string> seen;
    int32_t start = 0;
    for (;;) {
        const Frame f = NextFrame(b + start, n - start, DEV_TYPE3);
        seen.push_back(std::string(KindName(f.kind)) +
                       (f.kind == FrameKind::Scan ? ":" + Record(f) : ""));
        start += f.used;
        if (f.kind == FrameKind::Incomplete || start >= n) break;
    }
    const std::vector<std::string> want = {"Ack", "Scan:" + std::string{RECORD_V2} + v2payload,
                                           "Ack", "Scan:" + kRecordV1,
                                           "Nak", "Incomplete"};
    EXPECT_EQ(want, seen);
    EXPECT_EQ(n - 5, start);  // the partial packet stays for the next chunk
}

}  // namespace
