#include "OtherUser.h"

#include <unistd.h>

namespace tvxtest {

namespace {
constexpr uid_t kNobody = 65534;
}

CAsUnprivileged::CAsUnprivileged() {
    if (geteuid() != 0) {
        m_active = true;  // file modes count already
        return;
    }
    // The real and saved user stay root, so the switch back is allowed.
    if (setegid(kNobody) != 0 || seteuid(kNobody) != 0) {
        if (setegid(0) != 0) m_why = "cannot switch back the group";
        m_why = "running as root and cannot switch to user nobody";
        return;
    }
    m_active = m_switched = true;
}

CAsUnprivileged::~CAsUnprivileged() {
    if (!m_switched) return;
    // Both must succeed: the rest of the test program needs root back.
    if (seteuid(0) != 0 || setegid(0) != 0) _exit(3);
}

}  // namespace tvxtest
