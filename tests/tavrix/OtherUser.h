// Runs a stretch of a test as an unprivileged user, so that file modes count even when the
// test runs as root (root bypasses them).
#pragma once

#include <string>

namespace tvxtest {

class CAsUnprivileged {
  public:
    CAsUnprivileged();   // switches the effective user where it must and can
    ~CAsUnprivileged();  // switches back
    CAsUnprivileged(const CAsUnprivileged&) = delete;
    CAsUnprivileged& operator=(const CAsUnprivileged&) = delete;
    // False when file modes cannot be made to count here; Why says why.
    bool Active() const { return m_active; }
    const std::string& Why() const { return m_why; }

  private:
    bool m_active = false;
    bool m_switched = false;
    std::string m_why;
};

}  // namespace tvxtest
