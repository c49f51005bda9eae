// The pure framing step over a stream of chunks, reassembled as the receive path does it
// (8192-byte buffer, 800 ms gap, size test), without a service object: the fast target.
//
// Input: byte 0 picks the device type (low 3 bits, 0 to 7, so other numbers too) and whether
// a reply is due (bit 3). Then chunks: a length byte (0 to 255; 255 means 8192 bytes of the
// rest, for the size limit), a tick advance byte (8 ms steps, so the gap is crossed), and the
// chunk's bytes.
#include <cstdint>
#include <cstring>

#include "fuzz/FuzzCheck.h"
#include "scan/Framing.h"

using namespace qds::OPOS;

namespace {

constexpr int32_t kBufSize = 8192;
constexpr uint32_t kGapMs = 800;

uint8_t g_buf[kBufSize + 1];
uint8_t g_copy[kBufSize];

// The contract of NextFrame for one frame taken from b[0..n-1].
void CheckFrame(const Frame& f, const uint8_t* b, int32_t n, int32_t devType, bool replyDue) {
    switch (f.kind) {
        case FrameKind::Incomplete:
            FUZZ_CHECK(f.used == 0);
            FUZZ_CHECK(devType == DEV_TYPE3);  // only packets wait for more bytes
            break;
        case FrameKind::Drop:
            FUZZ_CHECK(devType == DEV_TYPE3 && f.used == 1);
            FUZZ_CHECK(b[0] != 0x06 && b[0] != 0x15);
            break;
        case FrameKind::Nak:
            FUZZ_CHECK(devType == DEV_TYPE3 && f.used == 1 && b[0] == 0x15);
            break;
        case FrameKind::StartMarker:
        case FrameKind::EndMarker:
            FUZZ_CHECK(devType == DEV_TYPE2 || devType == DEV_TYPE4);
            FUZZ_CHECK(f.used >= 4 &&
                       std::memcmp(b, f.kind == FrameKind::StartMarker ? "@@@@" : "^^^^", 4) == 0);
            FUZZ_CHECK(replyDue || f.used == 4);
            break;
        case FrameKind::Ack:
            FUZZ_CHECK(devType != DEV_TYPE1);
            if (devType == DEV_TYPE3)
                FUZZ_CHECK((f.used == 1 && b[0] == 0x06) || (f.used == 7 && b[0] == 0x02));
            else
                FUZZ_CHECK(b[0] == '!' || b[0] == '@');
            break;
        case FrameKind::Scan: {
            FUZZ_CHECK(f.used > 0);
            FUZZ_CHECK(f.headLen >= 0 && f.headLen <= 2 && f.bodyLen >= 0);
            FUZZ_CHECK(f.bodyLen == 0 || (f.body >= b && f.body + f.bodyLen <= b + f.used));
            FUZZ_CHECK(f.headLen + f.bodyLen <= kBufSize);
            if (devType == DEV_TYPE3) {
                // A whole packet, and nothing but it.
                FUZZ_CHECK(b[0] == 0x04 && (b[1] == 0xFF || b[1] == 0xFE));
                const int32_t header = b[1] == 0xFF ? 8 : 4;
                FUZZ_CHECK(f.used == header + b[2] * 256 + b[3]);
                FUZZ_CHECK(f.body == b + header && f.bodyLen == f.used - header);
            } else {
                FUZZ_CHECK(f.headLen == 0 && f.body == b);
                FUZZ_CHECK(std::memchr(b, 0, static_cast<size_t>(f.bodyLen)) == nullptr);
                FUZZ_CHECK(f.used == n);  // a text scan takes the rest of the buffer
            }
            break;
        }
    }
    if (f.kind != FrameKind::Incomplete) FUZZ_CHECK(f.used > 0 && f.used <= n);
    if (f.kind != FrameKind::Scan) FUZZ_CHECK(f.headLen == 0 && f.bodyLen == 0);
    // Outside the reply window and for type 1 a text is one frame.
    if (devType != DEV_TYPE3 && !replyDue) FUZZ_CHECK(f.used == n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int32_t devType = data[0] & 7;
    const bool replyDue = (data[0] & 8) != 0;
    size_t at = 1;
    int32_t len = 0;
    uint32_t tick = 0, lastTick = 0;
    while (at + 2 <= size) {
        size_t chunk = data[at] == 255 ? 8192 : data[at];
        tick += data[at + 1] * 8u;
        at += 2;
        if (chunk > size - at) chunk = size - at;
        const int32_t offset = tick - lastTick <= kGapMs ? len : 0;
        if (offset + chunk > static_cast<size_t>(kBufSize)) {
            len = 0;  // the size test: both dropped
            at += chunk;
            continue;
        }
        std::memcpy(g_buf + offset, data + at, chunk);
        at += chunk;
        len = offset + static_cast<int32_t>(chunk);
        int32_t start = 0;
        while (start < len) {
            lastTick = tick;
            const Frame f = NextFrame(g_buf + start, len - start, devType, replyDue);
            CheckFrame(f, g_buf + start, len - start, devType, replyDue);
            // Pure: the same bytes elsewhere give the same frame (checked on the first frame
            // of each chunk, so that a long run of dropped bytes stays linear).
            if (start == 0) {
                std::memcpy(g_copy, g_buf, static_cast<size_t>(len));
                const Frame again = NextFrame(g_copy, len, devType, replyDue);
                FUZZ_CHECK(again.kind == f.kind && again.used == f.used &&
                           again.bodyLen == f.bodyLen);
            }
            if (f.kind == FrameKind::Incomplete) break;
            start += f.used;
        }
        if (start > 0 && start < len)
            std::memmove(g_buf, g_buf + start, static_cast<size_t>(len - start));
        len = start < len ? len - start : 0;
        // Only a type 3 packet or reply can be left waiting.
        FUZZ_CHECK(len == 0 || devType == DEV_TYPE3);
    }
    return 0;
}
