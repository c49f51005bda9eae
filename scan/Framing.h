// The framing rules of the receive path as one pure step: which frame the buffered bytes
// start with, for a device type. ReceiveDataFromTAVRIX (scan/Framing.cpp) keeps the buffer
// and applies each frame (acknowledgement flag, setup mode, AutoDisable, queueing, pulse).
#pragma once

#include <cstdint>
#include <string>

#include "service/ScannerTypes.h"

namespace qds::OPOS {

// What the bytes at the front of the buffer are.
enum class FrameKind : uint8_t {
    Scan,         // a scan: its record is head + body
    Ack,          // an acknowledgement (type 3: ACK byte or a reply; types 2, 4: a reply text)
    Nak,          // type 3: the device refused the command
    StartMarker,  // types 2, 4: "@@@@", the device enters setup mode
    EndMarker,    // types 2, 4: "^^^^", setup mode ends; counts as an acknowledgement
    Incomplete,   // type 3: may be the start of a packet; wait for more bytes
    Drop,         // type 3: no frame can start at this byte; it is discarded
};

// The next frame. For Scan the record is the `headLen` bytes of `head` followed by the
// `bodyLen` bytes at `body`, which points into the caller's buffer.
struct Frame {
    FrameKind kind = FrameKind::Incomplete;
    int32_t used = 0;  // bytes of the buffer the frame takes (Incomplete: 0, Drop: 1)
    char head[2] = {0, 0};
    int32_t headLen = 0;
    const uint8_t* body = nullptr;
    int32_t bodyLen = 0;

    // Replaces out with the scan record (reusing its capacity).
    void AssignRecord(std::string& out) const {
        out.assign(head, static_cast<size_t>(headLen));
        if (bodyLen > 0)
            out.append(reinterpret_cast<const char*>(body), static_cast<size_t>(bodyLen));
    }
};

// The frame at the front of bytes[0..count-1] for the device type (a DevType; any other
// number frames as type 1). replyDue tells whether the device may be answering now (setup
// mode, or a command written to it lately); only types 2 and 4 look at it.
//
// Contract: pure and total. Reads only bytes[0..count-1] (bytes may be null when count is
// 0), keeps no state, allocates nothing, never fails. count <= 0 or a null bytes gives
// Incomplete with used 0.
// Otherwise 0 < used <= count for every kind but Incomplete (used 0).
// - Types 1, 2 and 4 (text): the whole buffer is one frame (used = count) whose text is the
//   bytes up to the first NUL. Types 2 and 4: exactly "@@@@" is StartMarker, exactly "^^^^"
//   EndMarker; a text "!...;" (at least 2 characters) or "@@@@...!!!!" (at least 8) is Ack;
//   anything else is a Scan whose body is the text. Type 1: always a Scan.
//   Types 2 and 4 with replyDue: a control frame at the front of the text is taken alone
//   first, "^^^^" (EndMarker), "@@@@...!!!!" up to the first "!!!!" (Ack), a bare "@@@@"
//   (StartMarker) or "!...;" up to the first ";" (Ack); it takes the whole buffer when
//   nothing of the text follows it. What follows is framed by the next call.
// - Type 3 (binary): ACK 06 or NAK 15 takes 1 byte; either 7-byte reply 02 00 00 02 32 30 FF
//   / 02 00 00 02 32 31 FE is an Ack. A packet 04 FF len(2) code x x x label (8-byte header)
//   or 04 FE len(2) payload (4-byte header), big-endian length, is a Scan when whole, with
//   head RECORD_V1 + code (body: label) or RECORD_V2 (body: payload). The start of a reply
//   or of a packet of a known version is Incomplete until it is whole. A first byte that can
//   start none of these (given the bytes after it) is Drop with used 1: the caller goes on
//   with the next byte.
Frame NextFrame(const uint8_t* bytes, int32_t count, int32_t devType,
                bool replyDue = false) noexcept;

// The receive path's note that a command is being written to the device: replies may come
// for the next 800 ms. Called by the command channel before each write.
void NoteCommandWritten() noexcept;

}  // namespace qds::OPOS
