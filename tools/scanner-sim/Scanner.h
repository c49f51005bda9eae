// What a simulated scanner says: replies to the commands it receives and the bytes of a
// scanned label, by device type. Pure byte logic, no I/O.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Symbologies.h"

namespace sim {

using Bytes = std::string;  // raw bytes

// How the scanner answers.
enum class ReplyMode {
    Auto,     // type 3: ACK 06; types 2 and 4: "^^^^" after an end marker on a serial line,
              // else "!<command>;"; type 1: nothing
    Ack,      // type 3: 06
    Nak,      // type 3: 15
    Reply20,  // type 3: 02 00 00 02 32 30 FF
    Reply21,  // type 3: 02 00 00 02 32 31 FE
    Bang,     // types 2 and 4: "!<command>;" for every command
    Bracket,  // types 2 and 4: "@@@@<command>!!!!" for every command
    End,      // types 2 and 4: "^^^^" for every end marker
    None,     // silent
};

// Parses a reply mode name ("auto", "ack", "nak", "r20", "r21", "bang", "bracket", "end",
// "none"). False when unknown.
bool ParseReplyMode(const std::string& name, ReplyMode* out);

class CScanner {
  public:
    CScanner(int devType, bool serialLine) : m_devType(devType), m_serial(serialLine) {}
    void SetReplyMode(ReplyMode mode) { m_mode = mode; }
    // Feeds received bytes; returns what the scanner answers (possibly nothing).
    std::vector<Bytes> Receive(const Bytes& bytes);
    // Number of complete commands recognised so far.
    size_t CommandCount() const { return m_commands; }

    // The bytes of a label as this device type sends it. Type 3: version 1 or 2 packet
    // (modifier: the byte that version 2 carries before its three unused bytes). False with
    // a reason when the symbology has no code identifier for this device type.
    bool BuildLabel(const Symbology& sym, const Bytes& label, int version, uint8_t modifier,
                    Bytes* out, std::string* why) const;

    // The check byte of a type 3 frame: the complement of the XOR of bytes 1 .. n-1.
    static uint8_t CheckByte(const Bytes& frame, size_t end);

  private:
    std::vector<Bytes> OnType3(const Bytes& bytes);
    std::vector<Bytes> OnMarkerText(const Bytes& bytes);

    const int m_devType;
    const bool m_serial;
    ReplyMode m_mode = ReplyMode::Auto;
    Bytes m_pending;  // bytes of an incomplete command
    size_t m_commands = 0;
};

// "\x.." escapes and hex helpers for the control channel.
Bytes Unescape(const std::string& text);
std::string ToHex(const Bytes& bytes);
bool FromHex(const std::string& hex, Bytes* out);

}  // namespace sim
