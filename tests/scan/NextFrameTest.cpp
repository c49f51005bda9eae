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
    bool replyDue = false;
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
    const Frame f = NextFrame(b, static_cast<int32_t>(in.size()), r.devType, r.replyDue);
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
        // A byte that can start no frame is dropped alone, however many bytes follow it.
        {"one unknown byte is dropped", DEV_TYPE3, "A", FrameKind::Drop, 1, ""},
        {"nine unknown bytes: the first is dropped", DEV_TYPE3, "ABCDEFGHI", FrameKind::Drop, 1,
         ""},
        {"ten unknown bytes: the first is dropped", DEV_TYPE3, "0123456789", FrameKind::Drop, 1,
         ""},
        {"stray byte before an ACK", DEV_TYPE3, Bytes({0x00, 0x06}), FrameKind::Drop, 1, ""},
        {"stray byte before a packet", DEV_TYPE3, "Z" + kV1, FrameKind::Drop, 1, ""},
        {"unknown version byte: the 04 is dropped", DEV_TYPE3,
         Bytes({0x04, 0x01, 0x00, 0x02, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46}) + kV1, FrameKind::Drop,
         1, ""},
        {"02 that is not a reply", DEV_TYPE3, Bytes({0x02, 0x00, 0x01}), FrameKind::Drop, 1, ""},
        {"02 that differs from both replies only in the last byte", DEV_TYPE3,
         kReply0.substr(0, 6) + Bytes({0xFE}) + kV1, FrameKind::Drop, 1, ""},
        {"02 alone is held", DEV_TYPE3, Bytes({0x02}), FrameKind::Incomplete, 0, ""},
        {"04 alone is held", DEV_TYPE3, Bytes({0x04}), FrameKind::Incomplete, 0, ""},
        {"04 FE alone is held", DEV_TYPE3, Bytes({0x04, 0xFE}), FrameKind::Incomplete, 0, ""},
        {"text framing does not apply", DEV_TYPE3, "@@@@", FrameKind::Drop, 1, ""},
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

// While a reply is due, a control frame at the front of a text is taken alone; otherwise the
// text is framed whole exactly as without one.
TEST(NextFrame, DeviceTypes2And4ControlFramesAtTheFrontWhileAReplyIsDue) {
    for (int32_t devType : {DEV_TYPE2, DEV_TYPE4}) {
        const Row rows[] = {
            {"end marker before a label", devType, "^^^^c" + kLabel13, FrameKind::EndMarker, 4, "",
             true},
            {"reply before an end marker", devType, "!99900102;^^^^", FrameKind::Ack, 10, "", true},
            {"bracketed reply up to the first !!!!", devType, "@@@@0102!!!!c12!!!!", FrameKind::Ack,
             12, "", true},
            {"bare start marker before a label", devType, "@@@@c12", FrameKind::StartMarker, 4, "",
             true},
            {"start marker before a reply", devType, "@@@@!1;", FrameKind::StartMarker, 4, "",
             true},
            {"reply up to the first ;", devType, "!a;!b;", FrameKind::Ack, 3, "", true},
            {"two-character reply before a label", devType, "!;c1", FrameKind::Ack, 2, "", true},
            {"reply ended by a NUL takes the buffer", devType, Bytes({'!', 'x', ';', 0, 'y'}),
             FrameKind::Ack, 5, "", true},
            {"marker ended by a NUL takes the buffer", devType, Bytes({'^', '^', '^', '^', 0}),
             FrameKind::EndMarker, 5, "", true},
            {"whole start marker", devType, "@@@@", FrameKind::StartMarker, 4, "", true},
            {"whole end marker", devType, "^^^^", FrameKind::EndMarker, 4, "", true},
            {"whole reply", devType, "!99904041;", FrameKind::Ack, 10, "", true},
            {"whole bracketed reply", devType, "@@@@!!!!", FrameKind::Ack, 8, "", true},
            {"label", devType, "c" + kLabel13, FrameKind::Scan, 14, "c" + kLabel13, true},
            {"'!' without a ';' is a label", devType, "!c12", FrameKind::Scan, 4, "!c12", true},
            {"three markers are a label", devType, "@@@c1", FrameKind::Scan, 5, "@@@c1", true},
            {"a control frame after the NUL is not looked at", devType,
             Bytes({'c', 0, '^', '^', '^', '^'}), FrameKind::Scan, 6, "c", true},
            // No reply due: today's rules, the text is never cut.
            {"end marker before a label, no reply due", devType, "^^^^c" + kLabel13,
             FrameKind::Scan, 18, "^^^^c" + kLabel13, false},
            {"replies together, no reply due", devType, "!99900102;^^^^", FrameKind::Scan, 14,
             "!99900102;^^^^", false},
            {"label starting with a reply, no reply due", devType, "!a;c12", FrameKind::Scan, 6,
             "!a;c12", false},
            {"bracketed reply before a label, no reply due", devType, "@@@@0102!!!!c1",
             FrameKind::Scan, 14, "@@@@0102!!!!c1", false},
        };
        for (const Row& r : rows) Check(r);
    }
    // Other device types do not look at it.
    for (int32_t devType : std::initializer_list<int32_t>{DEV_TYPE1, 7}) {
        Check({"type 1 marker and label", devType, "^^^^c1", FrameKind::Scan, 6, "^^^^c1", true});
        Check({"type 1 reply", devType, "!a;", FrameKind::Scan, 3, "!a;", true});
    }
    Check({"type 3 ignores it", DEV_TYPE3, Bytes({0x06}) + "^^^^", FrameKind::Ack, 1, "", true});
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

// The frames taken one after another from a buffer, as the receive path takes them.
std::vector<std::string> Frames(const std::string& in, int32_t devType, bool replyDue,
                                int32_t* consumed = nullptr) {
    const auto* b = reinterpret_cast<const uint8_t*>(in.data());
    const int32_t n = static_cast<int32_t>(in.size());
    std::vector<std::string> seen;
    int32_t start = 0;
    while (start < n) {
        const Frame f = NextFrame(b + start, n - start, devType, replyDue);
        seen.push_back(std::string(KindName(f.kind)) +
                       (f.kind == FrameKind::Scan ? ":" + Record(f) : ""));
        if (f.kind == FrameKind::Incomplete) break;
        start += f.used;
    }
    if (consumed != nullptr) *consumed = start;
    return seen;
}

// Taking frames one after another from a buffer, as the receive path does, consumes a chunk
// of several frames exactly.
TEST(NextFrame, SuccessiveFramesConsumeABufferOfSeveral) {
    const std::string v2payload = Bytes({0x21, 0x00, 0x31, 0x00, 0x00}) + "QR";
    const std::string in = Bytes({0x06}) + PacketV2(v2payload) + kReply0 + kV1 + Bytes({0x15}) +
                           PacketV1(0x05, "B2").substr(0, 5);
    int32_t start = 0;
    const std::vector<std::string> seen = Frames(in, DEV_TYPE3, false, &start);
    const std::vector<std::string> want = {"Ack", "Scan:" + std::string{RECORD_V2} + v2payload,
                                           "Ack", "Scan:" + kRecordV1,
                                           "Nak", "Incomplete"};
    EXPECT_EQ(want, seen);
    EXPECT_EQ(static_cast<int32_t>(in.size()) - 5, start);  // the partial packet stays
}

// Device type 3 finds its frames again after bytes that start none: each such byte is dropped
// alone and the frames behind it are framed as if it had not been there.
TEST(NextFrame, DeviceType3ResynchronisesAfterStrayBytes) {
    const std::string garbage = Bytes({0x04, 0x01, 0x00, 0x02, 0x41, 0x02, 0x00, 0x07, 0x30});
    const std::string in = Bytes({0xFF}) + Bytes({0x06}) + garbage + kV1 + "xy" + kReply1 +
                           PacketV2("QR") + Bytes({0x02, 0x00});
    int32_t start = 0;
    const std::vector<std::string> seen = Frames(in, DEV_TYPE3, false, &start);
    std::vector<std::string> want = {"Drop", "Ack"};
    for (size_t i = 0; i < garbage.size(); ++i) want.push_back("Drop");
    want.push_back("Scan:" + kRecordV1);
    want.insert(want.end(),
                {"Drop", "Drop", "Ack", "Scan:" + std::string{RECORD_V2} + "QR", "Incomplete"});
    EXPECT_EQ(want, seen);
    EXPECT_EQ(static_cast<int32_t>(in.size()) - 2, start);  // 02 00 may start a reply
}

// Replies and markers glued to each other and to a label, while a reply is due.
TEST(NextFrame, DeviceTypes2And4TakeGluedControlFramesApart) {
    const struct {
        const char* name;
        std::string in;
        std::vector<std::string> due;     // frames while a reply is due
        std::vector<std::string> notDue;  // frames otherwise
    } cases[] = {
        {"reply before a label",
         "^^^^c" + kLabel13,
         {"EndMarker", "Scan:c" + kLabel13},
         {"Scan:^^^^c" + kLabel13}},
        {"replies together", "!99900102;^^^^", {"Ack", "EndMarker"}, {"Scan:!99900102;^^^^"}},
        {"the markers and reply of one command",
         "@@@@!99900102;^^^^",
         {"StartMarker", "Ack", "EndMarker"},
         {"Scan:@@@@!99900102;^^^^"}},
        {"bracketed reply, reply, label",
         "@@@@01!!!!!2;c9",
         {"Ack", "Ack", "Scan:c9"},
         {"Scan:@@@@01!!!!!2;c9"}},
        {"a NUL ends the text; what follows it goes with the last frame",
         Bytes({'!', '1', ';', 'c', '9', 0, 'z'}),
         {"Ack", "Scan:c9"},
         {"Scan:!1;c9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int32_t devType : {DEV_TYPE2, DEV_TYPE4}) {
            EXPECT_EQ(c.due, Frames(c.in, devType, true));
            EXPECT_EQ(c.notDue, Frames(c.in, devType, false));
        }
    }
}

}  // namespace
