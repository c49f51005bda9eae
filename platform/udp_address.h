// Socket addresses from the "host:port" texts of CUdpSocket::Open, for the two socket
// implementations (not for callers outside platform/).
#pragma once

#include <string>

struct sockaddr_in;

namespace qds::plat {

// Fills localAddr and peer from local and remote (see ParseUdpAddress). False when either
// text is malformed or the remote port is 0; then neither address is touched.
bool UdpEndpoints(const std::string& local, const std::string& remote, sockaddr_in* localAddr,
                  sockaddr_in* peer);

}  // namespace qds::plat
