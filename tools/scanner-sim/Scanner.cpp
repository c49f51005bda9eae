#include "Scanner.h"

namespace sim {

namespace {

const Bytes kReply20("\x02\x00\x00\x02\x32\x30\xFF", 7);
const Bytes kReply21("\x02\x00\x00\x02\x32\x31\xFE", 7);
const Bytes kEndMarker = "%%%%";
const Bytes kStartMarker = "$$$$";
constexpr size_t kFrameSize = 9;

}  // namespace

bool ParseReplyMode(const std::string& name, ReplyMode* out) {
    static const struct {
        const char* name;
        ReplyMode mode;
    } kModes[] = {
        {"auto", ReplyMode::Auto},       {"ack", ReplyMode::Ack},     {"nak", ReplyMode::Nak},
        {"r20", ReplyMode::Reply20},     {"r21", ReplyMode::Reply21}, {"bang", ReplyMode::Bang},
        {"bracket", ReplyMode::Bracket}, {"end", ReplyMode::End},     {"none", ReplyMode::None}};
    for (const auto& m : kModes) {
        if (name == m.name) {
            *out = m.mode;
            return true;
        }
    }
    return false;
}

uint8_t CScanner::CheckByte(const Bytes& frame, size_t end) {
    uint8_t x = 0;
    for (size_t i = 1; i < end && i < frame.size(); ++i) x ^= static_cast<uint8_t>(frame[i]);
    return static_cast<uint8_t>(~x);
}

std::vector<Bytes> CScanner::Receive(const Bytes& bytes) {
    if (m_devType == 3) return OnType3(bytes);
    if (m_devType == 2 || m_devType == 4) return OnMarkerText(bytes);
    return {};  // type 1 answers nothing: its framing knows no replies
}

// Command frames: 7E 00 00 04 d d d d check.
std::vector<Bytes> CScanner::OnType3(const Bytes& bytes) {
    std::vector<Bytes> out;
    m_pending += bytes;
    for (;;) {
        const size_t start = m_pending.find('\x7E');
        if (start == Bytes::npos) {
            m_pending.clear();
            break;
        }
        m_pending.erase(0, start);
        if (m_pending.size() < kFrameSize) break;
        const Bytes frame = m_pending.substr(0, kFrameSize);
        const bool good = frame[1] == 0 && frame[2] == 0 && frame[3] == 4 &&
                          static_cast<uint8_t>(frame[8]) == CheckByte(frame, 8);
        if (!good) {
            m_pending.erase(0, 1);
            continue;
        }
        m_pending.erase(0, kFrameSize);
        ++m_commands;
        switch (m_mode) {
            case ReplyMode::Auto:
            case ReplyMode::Ack:
                out.push_back("\x06");
                break;
            case ReplyMode::Nak:
                out.push_back("\x15");
                break;
            case ReplyMode::Reply20:
                out.push_back(kReply20);
                break;
            case ReplyMode::Reply21:
                out.push_back(kReply21);
                break;
            default:
                break;
        }
    }
    return out;
}

// Text commands end with ';'; on a serial line each command is followed by "%%%%" (and for
// type 2 preceded by "$$$$").
std::vector<Bytes> CScanner::OnMarkerText(const Bytes& bytes) {
    std::vector<Bytes> out;
    m_pending += bytes;
    for (;;) {
        const size_t semi = m_pending.find(';');
        const size_t end = m_pending.find(kEndMarker);
        if (semi == Bytes::npos && end == Bytes::npos) break;
        if (semi != Bytes::npos && (end == Bytes::npos || semi < end)) {
            Bytes cmd = m_pending.substr(0, semi + 1);
            m_pending.erase(0, semi + 1);
            const size_t sm = cmd.find(kStartMarker);
            if (sm != Bytes::npos) cmd.erase(0, sm + kStartMarker.size());
            ++m_commands;
            const Bytes body = cmd.size() > 1 && cmd[0] == '#' ? cmd.substr(1) : cmd;
            if (m_mode == ReplyMode::Bang || (m_mode == ReplyMode::Auto && !m_serial)) {
                out.push_back("!" + body);
            } else if (m_mode == ReplyMode::Bracket) {
                out.push_back("@@@@" + body.substr(0, body.size() - 1) + "!!!!");
            }
            continue;
        }
        m_pending.erase(0, end + kEndMarker.size());
        if (m_mode == ReplyMode::End || (m_mode == ReplyMode::Auto && m_serial)) {
            out.push_back("^^^^");
        }
    }
    if (m_pending.size() > 4096) m_pending.clear();
    return out;
}

bool CScanner::BuildLabel(const Symbology& sym, const Bytes& label, int version, uint8_t modifier,
                          Bytes* out, std::string* why) const {
    out->clear();
    if (m_devType == 3) {
        if (sym.type3Id < 0) {
            *why = "no code identifier for device type 3";
            return false;
        }
        if (label.size() > 0xFFFF - 5) {
            *why = "label too long";
            return false;
        }
        const uint8_t id = static_cast<uint8_t>(sym.type3Id);
        if (version == 1) {
            const size_t len = label.size();
            *out = Bytes("\x04\xFF", 2);
            out->push_back(static_cast<char>(len >> 8));
            out->push_back(static_cast<char>(len & 0xFF));
            out->push_back(static_cast<char>(id));
            out->append(3, '\0');
        } else {
            const size_t len = label.size() + 5;
            *out = Bytes("\x04\xFE", 2);
            out->push_back(static_cast<char>(len >> 8));
            out->push_back(static_cast<char>(len & 0xFF));
            out->push_back(static_cast<char>(id));
            out->push_back(static_cast<char>(modifier));
            out->append(3, '\0');
        }
        *out += label;
        return true;
    }
    const char letter = (m_devType == 2 || m_devType == 4) ? sym.letter24 : sym.letter1;
    if (letter == 0) {
        *why = "no Code ID letter for this device type";
        return false;
    }
    *out = Bytes(1, letter) + label;
    return true;
}

Bytes Unescape(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i < text.size(); ++i) {
        Bytes hex;
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            FromHex(text.substr(i + 2, 2), &hex)) {
            out += hex;
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string ToHex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 15]);
    }
    return out;
}

bool FromHex(const std::string& hex, Bytes* out) {
    if (hex.size() % 2 != 0) return false;
    Bytes b;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int v = 0;
        for (int k = 0; k < 2; ++k) {
            const char c = hex[i + k];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= c - '0';
            else if (c >= 'a' && c <= 'f')
                v |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v |= c - 'A' + 10;
            else
                return false;
        }
        b.push_back(static_cast<char>(v));
    }
    *out = b;
    return true;
}

}  // namespace sim
