// The receive path through ReceiveDataFromTAVRIX, with the framework test double behind
// SendCommand, checked after every chunk: DataCount never negative and equal to the queued
// scans, every record within the 8192-byte bound, no record torn from two packets and none
// queued twice.
//
// Input: byte 0 picks the device type (1 to 4, or 7) and AutoDisable. Then operations, each
// a byte and its arguments: add a label (a device type 3 packet of version 1 or 2, or a text),
// add stray bytes, add a reply or marker, hand a piece of what was added to the receive path
// with a tick advance (up to about a second, so the gap is crossed), or a special call (null
// bytes, a zero or negative length, a command written, a claim lost and regained).
//
// Type 3 labels start with a tag byte and an id that stray bytes never contain, and no byte
// of a label or of stray bytes can start a data packet; so a record holding a tag must be
// exactly the record of the packet that carried it. Text records must come from one chunk.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "framework/Tavrix.h"
#include "fuzz/FuzzCheck.h"
#include "platform/sync.h"
#include "scan/Framing.h"
#include "service/Commands.h"
#include "service/ScannerCtrl.h"
#include "tests/support/FakeTavrix.h"

using namespace qds::OPOS;

namespace {

constexpr size_t kMaxRecord = 8192;
constexpr uint8_t kTag = 0xA5;

uint32_t g_tick = 1000;
uint32_t FuzzTick() {
    return g_tick;
}
void NoSleep(uint32_t) {}

TVX_HANDLE g_channel = nullptr;

struct Reader {
    const uint8_t* d;
    size_t n;
    size_t at = 0;
    bool More() const { return at < n; }
    uint8_t Byte() { return at < n ? d[at++] : 0; }
};

// A label byte: printable, never a frame start, never the tag.
uint8_t Safe(uint8_t b) {
    return static_cast<uint8_t>(0x30 + b % 0x4B);
}

// A stray byte for type 3: anything but a byte that could start a data packet or a reply
// (so no stray byte forges a record), and never the tag.
uint8_t Stray(uint8_t b) {
    if (b == 0x02 || b == 0x04 || b == kTag) return static_cast<uint8_t>(b + 1);
    return b;
}

std::string Be16(size_t v) {
    return std::string{static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}

struct Run {
    CScannerCtrl* ctrl;
    int32_t devType;
    std::string pending;              // bytes added, not yet handed over
    std::set<std::string> expected;   // type 3: records of the packets added
    std::set<std::string> delivered;  // type 3: tagged records seen in the FIFO
    size_t seen = 0;                  // records already checked
    uint16_t nextId = 0;

    void AddLabel(Reader& r, uint8_t op) {
        size_t len = r.Byte();
        if (op & 0x10) len *= 40;  // now and then beyond the buffer
        std::string label;
        if (devType == DEV_TYPE3) {
            label.push_back(static_cast<char>(kTag));
            label.push_back(static_cast<char>(Safe(static_cast<uint8_t>(nextId))));
            label.push_back(static_cast<char>(Safe(static_cast<uint8_t>(nextId / 0x4B))));
            ++nextId;
        }
        const uint8_t fill = r.Byte();
        for (size_t i = 0; i < len; ++i)
            label.push_back(static_cast<char>(Safe(static_cast<uint8_t>(fill + i * 7))));
        if (devType == DEV_TYPE3) {
            const uint8_t code = Safe(r.Byte());
            std::string packet, record;
            if (op & 0x08) {
                packet = std::string{'\x04', '\xFF'} + Be16(label.size()) +
                         std::string{static_cast<char>(code), '\xAA', '\xBB', '\xCC'} + label;
                record = std::string{RECORD_V1, static_cast<char>(code)} + label;
            } else {
                packet = std::string{'\x04', '\xFE'} + Be16(label.size()) + label;
                record = std::string{RECORD_V2} + label;
            }
            if (label.size() <= 0xFFFF) {
                pending += packet;
                expected.insert(record);
            }
        } else {
            pending += "c" + label + "\r\n";
        }
    }

    void AddStray(Reader& r) {
        const size_t n = r.Byte() % 64;
        for (size_t i = 0; i < n && r.More(); ++i) {
            const uint8_t b = r.Byte();
            pending.push_back(static_cast<char>(devType == DEV_TYPE3 ? Stray(b) : b));
        }
    }

    void AddControl(Reader& r) {
        static const char* const kType3[] = {"\x06", "\x15", "\x02\x00\x00\x02\x32\x30\xFF",
                                             "\x02\x00\x00\x02\x32\x31\xFE"};
        static const size_t kType3Len[] = {1, 1, 7, 7};
        static const char* const kText[] = {"@@@@", "^^^^", "!99900102;", "@@@@0102!!!!"};
        const uint8_t k = r.Byte() % 4;
        if (devType == DEV_TYPE3)
            pending.append(kType3[k], kType3Len[k]);
        else
            pending += kText[k];
    }

    void Feed(const uint8_t* data, int32_t length, const std::string& chunk) {
        ctrl->ReceiveDataFromTAVRIX(data, length);
        Check(chunk);
    }

    void Deliver(Reader& r) {
        size_t count = r.Byte();
        count = count * 8 + r.Byte() % 8;
        if (count > pending.size()) count = pending.size();
        g_tick += r.Byte() * 4u;
        const std::string chunk = pending.substr(0, count);
        pending.erase(0, count);
        Feed(reinterpret_cast<const uint8_t*>(chunk.data()), static_cast<int32_t>(chunk.size()),
             chunk);
    }

    void Special(Reader& r) {
        static const uint8_t kByte = 0x06;
        switch (r.Byte() % 5) {
            case 0:
                Feed(nullptr, 5, std::string());
                break;
            case 1:
                Feed(&kByte, -static_cast<int32_t>(r.Byte()) - 1, std::string());
                break;
            case 2:
                Feed(&kByte, 0, std::string());
                break;
            case 3:
                ctrl->SendCommand("#99900102;", 0, -1);  // opens the reply window
                break;
            case 4:
                ctrl->m_Claimed = 0;  // as after Release: the chunk and the buffer are dropped
                Feed(&kByte, 1, std::string());
                ctrl->m_Claimed = 1;
                break;
        }
    }

    void Check(const std::string& chunk) {
        std::vector<std::string> queue;
        int32_t count;
        {
            qds::plat::CLock lock(ctrl->m_csData);
            queue.assign(ctrl->m_FifoData.begin(), ctrl->m_FifoData.end());
            count = ctrl->m_DataCount.load();
        }
        FUZZ_CHECK(count >= 0);
        FUZZ_CHECK(static_cast<size_t>(count) == queue.size());
        FUZZ_CHECK(queue.size() >= seen);
        for (size_t i = seen; i < queue.size(); ++i) {
            const std::string& rec = queue[i];
            FUZZ_CHECK(rec.size() <= kMaxRecord + 1);
            if (devType == DEV_TYPE3) {
                FUZZ_CHECK(!rec.empty() && (rec[0] == RECORD_V1 || rec[0] == RECORD_V2));
                if (rec.find(static_cast<char>(kTag)) != std::string::npos) {
                    FUZZ_CHECK(expected.count(rec) == 1);      // not torn
                    FUZZ_CHECK(delivered.insert(rec).second);  // not twice
                }
            } else {
                FUZZ_CHECK(chunk.find(rec) != std::string::npos);  // from this chunk alone
            }
        }
        seen = queue.size();
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("KOLVEX_REGISTRY", "/nonexistent/kolvex-fuzz.reg", 1);
    SetReceiveTickSource(&FuzzTick);
    SetCommandSleep(&NoSleep);
    g_channel = tvx_open(L"HID", nullptr, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const int32_t kTypes[] = {DEV_TYPE1, DEV_TYPE2, DEV_TYPE3, DEV_TYPE4, 7};
    const int32_t devType = kTypes[data[0] % 5];
    fake::FakeTavrix::Get().Reset();
    ResetReceiveState();
    CScannerCtrl ctrl;
    ctrl.Open(devType, COMM_HID, 0, false);
    ctrl.m_Claimed = 1;
    ctrl.m_hTvx = g_channel;
    ctrl.m_DeviceEnabled = 1;
    ctrl.m_AutoDisable = (data[0] & 0x80) != 0 ? 1 : 0;

    Run run{&ctrl, devType, {}, {}, {}};
    Reader r{data, size, 1};
    while (r.More()) {
        const uint8_t op = r.Byte();
        switch (op % 8) {
            case 0:
            case 1:
            case 2:
                run.AddLabel(r, op);
                break;
            case 3:
                run.AddStray(r);
                break;
            case 4:
                run.AddControl(r);
                break;
            case 5:
            case 6:
                run.Deliver(r);
                break;
            case 7:
                run.Special(r);
                break;
        }
    }
    if (!run.pending.empty()) {
        g_tick += 10;
        const std::string chunk = run.pending;
        run.pending.clear();
        run.Feed(reinterpret_cast<const uint8_t*>(chunk.data()), static_cast<int32_t>(chunk.size()),
                 chunk);
    }
    ctrl.m_hTvx = nullptr;
    ctrl.m_Claimed = 0;
    return 0;
}
