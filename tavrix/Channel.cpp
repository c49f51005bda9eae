#include "tavrix/Channel.h"

#include <vector>

#include "platform/time.h"

namespace qds::tvx {

CChannel::CChannel(std::unique_ptr<ITransport> transport) : m_transport(std::move(transport)) {
    // The word is read through a plain pointer by the add-on hook; the atomic has its layout.
    m_head.pWord = reinterpret_cast<uint32_t*>(&m_word);
    m_head.channel = this;
}

CChannel::~CChannel() {
    Stop();
}

bool CChannel::Start() {
    {
        plat::CLock lock(m_csIo);
        if (!m_transport->Open()) return false;
        m_word.store(m_transport->OsWord());
        m_open.store(true);
    }
    if (!m_thread.Start(&CChannel::ReceiveThread, this)) {
        plat::CLock lock(m_csIo);
        m_transport->Close();
        m_open.store(false);
        m_word.store(0);
        return false;
    }
    return true;
}

void CChannel::Stop() {
    m_stop.store(true);
    m_stopEvent.Set();
    m_transport->Interrupt();
    m_thread.Join();
    plat::CLock lock(m_csIo);
    if (m_open.load()) m_transport->Close();
    m_open.store(false);
    m_word.store(0);
}

bool CChannel::OnReceiveThread() const {
    return m_threadId.load() != 0 && m_threadId.load() == plat::CurrentThreadId();
}

void CChannel::SetNotify(TVX_NOTIFY callback, void* context) {
    plat::CLock lock(m_csNotify);
    m_callback = callback;
    m_context = context;
}

void CChannel::SetStatus(TVX_STATUS_NOTIFY callback, void* context) {
    plat::CLock lock(m_csNotify);
    m_status = callback;
    m_statusContext = context;
}

int32_t CChannel::Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) {
    if (m_transport->GuardsItself()) {
        // No lock of ours across a write that may wait on the device.
        if (!m_open.load()) return -1;
        return m_transport->Write(data, length, timeoutMs);
    }
    plat::CLock lock(m_csIo);
    if (!m_open.load()) return -1;
    return m_transport->Write(data, length, timeoutMs);
}

void CChannel::Clear() {
    if (m_transport->GuardsItself()) {
        if (m_open.load()) m_transport->Clear();
        return;
    }
    plat::CLock lock(m_csIo);
    if (m_open.load()) m_transport->Clear();
}

uint32_t CChannel::ReceiveThread(void* self) {
    static_cast<CChannel*>(self)->ReceiveLoop();
    return 0;
}

void CChannel::ReceiveLoop() {
    m_threadId.store(plat::CurrentThreadId());
    std::vector<uint8_t> buffer(kReadBufferSize);  // a whole datagram; too big for the stack
    uint8_t* const buf = buffer.data();
    uint32_t openedAt = plat::TickMs();
    uint32_t pause = 0;             // before the next reopen attempt
    uint32_t flapPause = kRetryMs;  // for a device that fails soon after opening
    while (!m_stop.load()) {
        if (!m_open.load()) {
            if (pause > 0 && m_stopEvent.Wait(pause) == plat::WaitResult::Signaled) continue;
            if (TryReopen()) {
                openedAt = plat::TickMs();
                pause = 0;
            } else {
                pause = kRetryMs;
            }
            continue;
        }
        const int32_t n = m_transport->Read(buf, kReadBufferSize);
        if (n > 0) {
            Deliver(buf, n);
        } else if (n < 0 && !m_stop.load()) {
            // A device that opens and fails at once would otherwise be reopened in a tight
            // loop, each time with the cost of a new device (threads, buffers).
            const bool brief = plat::TickMs() - openedAt < kStableMs;
            DeviceLost();
            if (brief) {
                pause = flapPause;
                flapPause = flapPause * 2 > kRetryMaxMs ? kRetryMaxMs : flapPause * 2;
            } else {
                pause = 0;
                flapPause = kRetryMs;
            }
        }
    }
}

void CChannel::Deliver(const uint8_t* data, int32_t length) {
    // Held across the call: callbacks never overlap, and SetNotify waits for a running one.
    plat::CLock lock(m_csNotify);
    if (m_callback != nullptr && !m_stop.load()) m_callback(data, length, m_context);
}

void CChannel::DeviceLost() {
    {
        plat::CLock lock(m_csIo);
        m_transport->Close();
        m_open.store(false);
        m_word.store(0);
    }
    if (m_observer != nullptr) m_observer(false, m_observerContext);
    NotifyStatus(TVX_STATUS_LOST);
}

void CChannel::NotifyStatus(int32_t status) {
    // Under the callback lock: never beside a receive callback, and never after SetStatus
    // (or Stop) has returned.
    plat::CLock lock(m_csNotify);
    if (m_status != nullptr && !m_stop.load()) m_status(status, m_statusContext);
}

bool CChannel::TryReopen() {
    {
        plat::CLock lock(m_csIo);
        if (!m_transport->Open()) return false;
        m_word.store(m_transport->OsWord());
        m_open.store(true);
    }
    if (m_observer != nullptr) m_observer(true, m_observerContext);
    NotifyStatus(TVX_STATUS_BACK);
    return true;
}

}  // namespace qds::tvx
