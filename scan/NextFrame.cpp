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
constexpr int32_t kReplyLen = 7;
constexpr uint8_t kReplies[2][kReplyLen] = {
    {0x02, 0x00, 0x00, 0x02, 0x32, 0x30, 0xFF},
    {0x02, 0x00, 0x00, 0x02, 0x32, 0x31, 0xFE},
};
// Up to this many buffered bytes are held for more, unless they already form a whole packet.
constexpr int32_t kShortHold = 9;

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

Frame PacketFrame(const uint8_t* b, int32_t n) {
    if (b[0] == kAck) return Make(FrameKind::Ack, 1);
    if (b[0] == kNak) return Make(FrameKind::Nak, 1);
    if (n >= kReplyLen && (std::memcmp(b, kReplies[0], kReplyLen) == 0 ||
                           std::memcmp(b, kReplies[1], kReplyLen) == 0))
        return Make(FrameKind::Ack, kReplyLen);

    const int32_t packetLen = PacketLength(b, n);
    const bool whole = packetLen > 0 && packetLen <= n;
    // A short buffer may be the start of something; a whole packet in it is framed now.
    if (n <= kShortHold && !whole) return Make(FrameKind::Incomplete, 0);
    if (b[0] != kPacketStart) return Make(FrameKind::Drop, n);
    if (b[1] != kVersion1 && b[1] != kVersion2) return Make(FrameKind::Drop, n);
    if (!whole) return Make(FrameKind::Incomplete, 0);

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

Frame TextFrame(const uint8_t* b, int32_t n, int32_t devType) {
    // The text is read up to its first NUL; the frame takes the whole buffer all the same.
    const void* nul = std::memchr(b, 0, static_cast<size_t>(n));
    const size_t len =
        nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - b) : size_t(n);
    if (devType == DEV_TYPE2 || devType == DEV_TYPE4) {
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

Frame NextFrame(const uint8_t* bytes, int32_t count, int32_t devType) noexcept {
    if (count <= 0 || bytes == nullptr) return Frame{};
    if (devType == DEV_TYPE3) return PacketFrame(bytes, count);
    return TextFrame(bytes, count, devType);
}

}  // namespace qds::OPOS
