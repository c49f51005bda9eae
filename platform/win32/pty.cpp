// Windows has no pseudo-terminals; the simulated scanner uses UDP or its standard streams
// there.
#include "platform/pty.h"

namespace qds::plat {

struct CPtyMaster::Impl {
    std::string slavePath;  // stays empty
};

CPtyMaster::CPtyMaster() : m_impl(new Impl) {}
CPtyMaster::~CPtyMaster() = default;
bool CPtyMaster::Open() {
    return false;
}
void CPtyMaster::Close() {}
bool CPtyMaster::IsOpen() const {
    return false;
}
const std::string& CPtyMaster::SlavePath() const {
    return m_impl->slavePath;
}
int32_t CPtyMaster::Read(uint8_t*, uint32_t, uint32_t) {
    return -1;
}
int32_t CPtyMaster::Write(const uint8_t*, uint32_t) {
    return -1;
}
void CPtyMaster::Interrupt() {}
bool ReplaceSymlink(const std::string&, const std::string&) {
    return false;
}
bool RemoveFile(const std::string&) {
    return false;
}

}  // namespace qds::plat
