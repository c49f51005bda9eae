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

std::string OsErrorText(DWORD code) {
    char buf[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, buf, sizeof buf, nullptr);
    std::string text(buf, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace qds::plat::win32
