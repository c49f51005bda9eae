// NextFrame: the framing rules of the receive path, without state (see scan/Framing.h).
#include <cstring>

#include "scan/Framing.h"

namespace qds::OPOS {

namespace {

// Device type 3.
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kPacketStart = 0x04;
constexpr uint8_t kVersion1 = 0xFF;
constexpr uint8_t kVersion2 = 0xFE;
constexpr int32_t kV1Header = 8;
constexpr int32_t kV2Header = 4;
constexpr int32_t kV1CodeIdAt = 4;  // the packet byte that becomes the record's code identifier
constexpr uint8_t kReplyStart = 0x02;
constexpr int32_t kReplyLen = 7;
constexpr uint8_t kReplies[2][kReplyLen] = {
    {0x02, 0x00, 0x00, 0x02, 0x32, 0x30, 0xFF},
    {0x02, 0x00, 0x00, 0x02, 0x32, 0x31, 0xFE},
};

// Device types 2 and 4.
constexpr char kSetupStart[] = "@@@@";
constexpr char kSetupEnd[] = "^^^^";
constexpr char kSetupReplyEnd[] = "!!!!";
constexpr size_t kMarkerLen = 4;

Frame Make(FrameKind kind, int32_t used) {
    Frame f;
    f.kind = kind;
    f.used = used;
    return f;
}

// Total length of the data packet at b when its header is there and names a known version;
// 0 otherwise.
int32_t PacketLength(const uint8_t* b, int32_t n) {
    if (n < kV2Header || b[0] != kPacketStart) return 0;
    const int32_t len = b[2] * 256 + b[3];
    if (b[1] == kVersion1) return kV1Header + len;
    if (b[1] == kVersion2) return kV2Header + len;
    return 0;
}

// The first k bytes of one of the two replies (k <= kReplyLen).
bool StartsReply(const uint8_t* b, int32_t k) {
    return std::memcmp(b, kReplies[0], static_cast<size_t>(k)) == 0 ||
           std::memcmp(b, kReplies[1], static_cast<size_t>(k)) == 0;
}

// Whether b[0] may begin a frame, judged by the bytes there are: an ACK, a NAK, the start of
// a reply or of a packet with a known version. A byte that cannot is dropped on its own, so
// a stray byte never hides the frames behind it.
bool MayStartFrame(const uint8_t* b, int32_t n) {
    switch (b[0]) {
        case kAck:
        case kNak:
            return true;
        case kReplyStart:
            return StartsReply(b, n < kReplyLen ? n : kReplyLen);
        case kPacketStart:
            return n < 2 || b[1] == kVersion1 || b[1] == kVersion2;
        default:
            return false;
    }
}

Frame PacketFrame(const uint8_t* b, int32_t n) {
    if (b[0] == kAck) return Make(FrameKind::Ack, 1);
    if (b[0] == kNak) return Make(FrameKind::Nak, 1);
    if (n >= kReplyLen && StartsReply(b, kReplyLen)) return Make(FrameKind::Ack, kReplyLen);
    if (!MayStartFrame(b, n)) return Make(FrameKind::Drop, 1);
    if (b[0] == kReplyStart) return Make(FrameKind::Incomplete, 0);  // a reply cut short

    const int32_t packetLen = PacketLength(b, n);
    if (packetLen == 0 || packetLen > n) return Make(FrameKind::Incomplete, 0);

    Frame f = Make(FrameKind::Scan, packetLen);
    if (b[1] == kVersion1) {
        f.head[0] = RECORD_V1;
        f.head[1] = static_cast<char>(b[kV1CodeIdAt]);
        f.headLen = 2;
        f.body = b + kV1Header;
        f.bodyLen = packetLen - kV1Header;
    } else {
        f.head[0] = RECORD_V2;
        f.headLen = 1;
        f.body = b + kV2Header;
        f.bodyLen = packetLen - kV2Header;
    }
    return f;
}

bool TextIs(const uint8_t* t, size_t len, const char* marker) {
    return len == kMarkerLen && std::memcmp(t, marker, kMarkerLen) == 0;
}

// The control frame at the front of the text t[0..len-1], or used 0 when there is none:
// "^^^^", "@@@@...!!!!" up to the first "!!!!", a bare "@@@@", "!...;" up to the first ";".
Frame LeadingControl(const uint8_t* t, size_t len) {
    if (len >= kMarkerLen && std::memcmp(t, kSetupEnd, kMarkerLen) == 0)
        return Make(FrameKind::EndMarker, static_cast<int32_t>(kMarkerLen));
    if (len >= kMarkerLen && std::memcmp(t, kSetupStart, kMarkerLen) == 0) {
        for (size_t i = kMarkerLen; i + kMarkerLen <= len; ++i)
            if (std::memcmp(t + i, kSetupReplyEnd, kMarkerLen) == 0)
                return Make(FrameKind::Ack, static_cast<int32_t>(i + kMarkerLen));
        return Make(FrameKind::StartMarker, static_cast<int32_t>(kMarkerLen));
    }
    if (len >= 2 && t[0] == '!') {
        const void* semi = std::memchr(t + 1, ';', len - 1);
        if (semi != nullptr)
            return Make(FrameKind::Ack,
                        static_cast<int32_t>(static_cast<const uint8_t*>(semi) - t + 1));
    }
    return Make(FrameKind::Incomplete, 0);
}

Frame TextFrame(const uint8_t* b, int32_t n, int32_t devType, bool replyDue) {
    // The text is read up to its first NUL; the frame takes the whole buffer all the same.
    const void* nul = std::memchr(b, 0, static_cast<size_t>(n));
    const size_t len =
        nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - b) : size_t(n);
    if (devType == DEV_TYPE2 || devType == DEV_TYPE4) {
        // While a reply is due, replies and markers that share a read with what follows them
        // are taken off one at a time. Otherwise a text is never cut, so a label that starts
        // with '!', '@' or '^' stays whole.
        if (replyDue) {
            Frame control = LeadingControl(b, len);
            if (control.used > 0) {
                if (static_cast<size_t>(control.used) == len) control.used = n;
                return control;
            }
        }
        if (n == static_cast<int32_t>(kMarkerLen) && TextIs(b, len, kSetupStart))
            return Make(FrameKind::StartMarker, n);
        if (n == static_cast<int32_t>(kMarkerLen) && TextIs(b, len, kSetupEnd))
            return Make(FrameKind::EndMarker, n);
        if (len >= 2 && b[0] == '!' && b[len - 1] == ';') return Make(FrameKind::Ack, n);
        if (len >= 2 * kMarkerLen && std::memcmp(b, kSetupStart, kMarkerLen) == 0 &&
            std::memcmp(b + len - kMarkerLen, kSetupReplyEnd, kMarkerLen) == 0)
            return Make(FrameKind::Ack, n);
    }
    Frame f = Make(FrameKind::Scan, n);
    f.body = b;
    f.bodyLen = static_cast<int32_t>(len);
    return f;
}

}  // namespace

Frame NextFrame(const uint8_t* bytes, int32_t count, int32_t devType, bool replyDue) noexcept {
    if (count <= 0 || bytes == nullptr) return Frame{};
    if (devType == DEV_TYPE3) return PacketFrame(bytes, count);
    return TextFrame(bytes, count, devType, replyDue);
}

}  // namespace qds::OPOS
