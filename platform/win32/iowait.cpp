#include "platform/win32/iowait.h"

namespace qds::plat::win32 {

CWakeEvent::~CWakeEvent() {
    if (m_handle) CloseHandle(m_handle);
}

void CWakeEvent::Set() const {
    if (m_handle) SetEvent(m_handle);
}

IoWait CWakeEvent::WaitFor(HANDLE io, uint32_t timeoutMs) const {
    HANDLE waits[2] = {io, m_handle};
    switch (WaitForMultipleObjects(m_handle ? 2 : 1, waits, FALSE, timeoutMs)) {
        case WAIT_OBJECT_0:
            return IoWait::Ready;
        case WAIT_OBJECT_0 + 1:
            return IoWait::Woken;
        case WAIT_TIMEOUT:
            return IoWait::Timeout;
        default:
            return IoWait::Failed;
    }
}

}  // namespace qds::plat::win32
