// Pseudo-terminals, for the simulated scanner and the tests that stand in for a serial
// device. Only POSIX has them; on Win32 Open fails.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qds::plat {

// The master side of a pseudo-terminal. The slave is set raw and kept open by this object
// too, so the master never sees a hang-up while no client has the slave open.
class CPtyMaster {
  public:
    CPtyMaster();
    ~CPtyMaster();
    CPtyMaster(const CPtyMaster&) = delete;
    CPtyMaster& operator=(const CPtyMaster&) = delete;

    bool Open();
    void Close();
    bool IsOpen() const;
    const std::string& SlavePath() const;

    // As CSerialPort: count (> 0), 0 on time-out or Interrupt, -1 on failure.
    int32_t Read(uint8_t* buf, uint32_t size, uint32_t timeoutMs);
    int32_t Write(const uint8_t* data, uint32_t length);
    void Interrupt();

  private:
    struct Impl;  // the descriptors, defined in posix/ (win32/ holds only the empty path)
    std::unique_ptr<Impl> m_impl;
};

// Points link at target (replacing an existing link atomically). False on failure.
bool ReplaceSymlink(const std::string& target, const std::string& link);
bool RemoveFile(const std::string& path);

}  // namespace qds::plat
