// Receive reassembly and framing: turns the framework's chunks into scans for the FIFO and
// acknowledgements for SendCommand.
//
// The reassembly state is process-wide (there is one service object). The framework may call
// ReceiveNotify from more than one thread, so a lock of the receive path's own serialises
// whole calls of ReceiveDataFromTAVRIX; nothing else takes it, so it never nests inside
// m_csFifo or m_csData.
#include <atomic>
#include <cstring>

#include "platform/sync.h"
#include "platform/time.h"
#include "service/ScannerCtrl.h"
#include "trace/TraceLog.h"

namespace qds::OPOS {

namespace {

constexpr int32_t kRecvBufSize = 8192;
constexpr uint32_t kRecvGapMs = 800;

// Device type 3 frames.
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kPacketStart = 0x04;
constexpr uint8_t kVersion1 = 0xFF;
constexpr uint8_t kVersion2 = 0xFE;
constexpr int32_t kV1Header = 8;
constexpr int32_t kV2Header = 4;
constexpr int32_t kReplyLen = 7;
constexpr uint8_t kReplies[2][kReplyLen] = {
    {0x02, 0x00, 0x00, 0x02, 0x32, 0x30, 0xFF},
    {0x02, 0x00, 0x00, 0x02, 0x32, 0x31, 0xFE},
};
// Up to this many buffered bytes are held for more, unless they already form a whole packet.
constexpr int32_t kShortHold = 9;

uint8_t s_RecvBuf[kRecvBufSize + 1];
int32_t s_RecvLen = 0;
uint32_t s_LastRecvTick = 0;
std::atomic<TickSource> s_tickSource{nullptr};

plat::CCriticalSection& RecvLock() {
    static plat::CCriticalSection s_cs;
    return s_cs;
}

uint32_t Tick() {
    const TickSource source = s_tickSource.load(std::memory_order_acquire);
    return source != nullptr ? source() : plat::TickMs();
}

// What the packet framing made of the bytes at the front of the buffer.
enum class Frame { Consumed, Scan, Hold, Discard };

// Total length of the data packet at b when its header is there and names a known version;
// 0 otherwise.
int32_t PacketLength(const uint8_t* b, int32_t n) {
    if (n < kV2Header || b[0] != kPacketStart) return 0;
    const int32_t len = b[2] * 256 + b[3];
    if (b[1] == kVersion1) return kV1Header + len;
    if (b[1] == kVersion2) return kV2Header + len;
    return 0;
}

}  // namespace

void SetReceiveTickSource(TickSource source) {
    s_tickSource.store(source, std::memory_order_release);
}

void ResetReceiveState() {
    plat::CLock lock(RecvLock());
    s_RecvLen = 0;
    s_LastRecvTick = 0;
    s_RecvBuf[0] = 0;
}

void KX_STDCALL ReceiveNotify(const uint8_t* data, int32_t length, void* context) {
    if (context == nullptr) return;
    static_cast<CScannerCtrl*>(context)->ReceiveDataFromTAVRIX(data, length);
}

namespace {

// One pass of the device type 3 framing on b[0..n-1]. Sets `used` to the bytes the frame
// took; for a scan, text holds the scan record.
Frame FramePacket(const uint8_t* b, int32_t n, std::atomic<int32_t>& ack, std::string& text,
                  int32_t& used) {
    used = 0;
    if (b[0] == kAck || b[0] == kNak) {
        // A NAK ends the wait as well, but SendCommand must learn the device refused.
        ack.store(b[0] == kAck ? ACK_RECEIVED : ACK_NAK);
        used = 1;
        return Frame::Consumed;
    }
    if (n >= kReplyLen && (std::memcmp(b, kReplies[0], kReplyLen) == 0 ||
                           std::memcmp(b, kReplies[1], kReplyLen) == 0)) {
        ack.store(ACK_RECEIVED);
        used = kReplyLen;
        return Frame::Consumed;
    }
    const int32_t packetLen = PacketLength(b, n);
    const bool whole = packetLen > 0 && packetLen <= n;
    // A short buffer may be the start of something; a whole packet in it is framed now.
    if (n <= kShortHold && !whole) return Frame::Hold;
    if (b[0] != kPacketStart) return Frame::Discard;
    if (b[1] != kVersion1 && b[1] != kVersion2) return Frame::Discard;
    if (!whole) return Frame::Hold;

    const int32_t labelLen = b[2] * 256 + b[3];
    const char* bytes = reinterpret_cast<const char*>(b);
    if (b[1] == kVersion1) {
        text.assign(1, '\x01');
        text.push_back(bytes[4]);
        text.append(bytes + kV1Header, static_cast<size_t>(labelLen));
    } else {
        text.assign(1, '\x02');
        text.append(bytes + kV2Header, static_cast<size_t>(labelLen));
    }
    used = packetLen;
    return Frame::Scan;
}

}  // namespace

void CScannerCtrl::ReceiveDataFromTAVRIX(const uint8_t* data, int32_t length) {
    CTraceScope scope("qds::OPOS::CScannerCtrl::ReceiveDataFromTAVRIX", length);
    plat::CLock lock(RecvLock());

    if (m_Claimed.load() != 1) {
        s_RecvLen = 0;
        return;
    }
    // Nothing to read: the chunk is dropped and what is buffered stays as it was.
    if (data == nullptr && length > 0) return;

    const uint32_t elapsed = Tick() - s_LastRecvTick;  // unsigned: right across the wrap
    const int32_t offset = elapsed <= kRecvGapMs ? s_RecvLen : 0;
    if (static_cast<uint32_t>(offset) + static_cast<uint32_t>(length) >
        static_cast<uint32_t>(kRecvBufSize)) {
        s_RecvLen = 0;
        return;
    }
    if (length > 0) std::memcpy(s_RecvBuf + offset, data, static_cast<size_t>(length));
    s_RecvLen = offset + length;
    s_RecvBuf[s_RecvLen] = 0;
    if (s_RecvLen <= 0) {
        s_RecvLen = 0;
        return;
    }

    const int32_t devType = m_DevType.load();
    CTraceLog& log = CTraceLog::Instance();
    // Frames are taken from the front by advancing `start`; the rest moves to the front of
    // the buffer once, when the call ends.
    int32_t start = 0;
    for (;;) {
        s_LastRecvTick = Tick();
        const int32_t n = s_RecvLen - start;
        const uint8_t* b = s_RecvBuf + start;
        bool ended = false;
        bool scan = false;

        if (devType == 3) {
            int32_t used = 0;
            switch (FramePacket(b, n, m_bAckReceived, m_RecvText, used)) {
                case Frame::Consumed:
                    start += used;
                    ended = start >= s_RecvLen;
                    break;
                case Frame::Scan:
                    start += used;
                    scan = true;
                    break;
                case Frame::Hold:
                    ended = true;
                    break;
                case Frame::Discard:
                    start = s_RecvLen;
                    ended = true;
                    break;
            }
        } else {
            // Text framings: the whole buffer is one frame, read up to its first NUL.
            const char* text = reinterpret_cast<const char*>(b);
            m_RecvText.assign(text, std::strlen(text));
            start = s_RecvLen;
            ended = true;
            if (devType == 2 || devType == 4) {
                const std::string& t = m_RecvText;
                const size_t len = t.size();
                if (n == 4 && t == "@@@@") {
                    m_bSetupMode = 1;
                } else if (n == 4 && t == "^^^^") {
                    m_bSetupMode = 0;
                    m_bAckReceived.store(ACK_RECEIVED);
                } else if (len >= 2 && t.front() == '!' && t.back() == ';') {
                    m_bAckReceived.store(ACK_RECEIVED);
                } else if (len >= 8 && t.compare(0, 4, "@@@@") == 0 &&
                           t.compare(len - 4, 4, "!!!!") == 0) {
                    m_bAckReceived.store(ACK_RECEIVED);
                } else {
                    scan = true;
                }
            } else {
                scan = true;
            }
        }

        if (scan) {
            if (m_AutoDisable.load() == 1) SetDeviceEnabled(0);
            log.Write(5, "push data before: datacount:%u",
                      static_cast<unsigned>(m_DataCount.load()));
            PushFifoData(m_RecvText);
            log.Write(5, "push data after: datacount:%u",
                      static_cast<unsigned>(m_DataCount.load()));
            if (devType == 1 && m_hTvx.load() != nullptr) {
                int32_t pulseOnScan;
                {
                    plat::CLock addOn(m_csAddOn);
                    pulseOnScan = m_AddOn.PulseOnScan;
                }
                // AddOnPulse itself checks that a module and its function are loaded.
                if (pulseOnScan > 0) AddOnPulse(ChannelWord());
            }
            log.Write(5, "pop data before: datacount:%u",
                      static_cast<unsigned>(m_DataCount.load()));
            log.Write(5, "pop data after: datacount:%u", static_cast<unsigned>(m_DataCount.load()));
            ended = start >= s_RecvLen;
        }
        if (ended) break;
    }

    const int32_t rest = s_RecvLen - start;
    if (rest > 0 && start > 0)
        std::memmove(s_RecvBuf, s_RecvBuf + start, static_cast<size_t>(rest));
    s_RecvLen = rest > 0 ? rest : 0;
    s_RecvBuf[s_RecvLen] = 0;
}

}  // namespace qds::OPOS
