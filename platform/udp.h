// A UDP socket bound to a local address that sends to one peer.
//
// Addresses are "host:port" with a dotted IPv4 host ("127.0.0.1:9100"; "0.0.0.0" or an
// empty host binds every interface, port 0 picks a free port).
// Threads: one thread may Read while others Write and Interrupt. Open and Close must not
// overlap a Read or Write on the same object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qds::plat {

// Parses "a.b.c.d:port" (host may be empty for any). False on malformed text.
bool ParseUdpAddress(const std::string& text, uint32_t* hostOrder, uint16_t* port);

class CUdpSocket {
  public:
    CUdpSocket();
    ~CUdpSocket();
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    // Binds local and remembers remote (port not 0) as the peer of Write. onlyFromPeer: Read
    // drops (and counts) every datagram whose source is not exactly remote's address and
    // port; otherwise datagrams are accepted from any sender. False when an address is
    // malformed or the socket cannot be bound; OpenErrorText then says why.
    bool Open(const std::string& local, const std::string& remote, bool onlyFromPeer = false);
    const std::string& OpenErrorText() const { return m_errorText; }
    void Close();
    bool IsOpen() const;
    uint32_t OsHandle() const;
    // The bound port (useful after binding port 0); 0 when closed.
    uint16_t LocalPort() const;

    // Waits up to timeoutMs for one datagram. Returns its length (> 0), 0 on time-out,
    // Interrupt, an empty datagram, a datagram dropped for its source, or one larger than
    // size (dropped: never handed on cut), -1 on a socket failure.
    int32_t Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs);
    // Datagrams dropped since Open because of their source.
    uint64_t DroppedCount() const;
    // Sends one datagram to the peer. Returns length or -1.
    int32_t Write(const uint8_t* data, uint32_t length);
    void Interrupt();

  private:
    struct Impl;  // the OS's handle and wake-up, defined in posix/ and win32/
    std::unique_ptr<Impl> m_impl;
    std::string m_errorText;
};

}  // namespace qds::plat
