#include "tests/support/FakeTavrix.h"

#include "platform/time.h"

namespace fake {

namespace {
thread_local std::string t_lastReason;  // what tvx_last_error hands this thread
}  // namespace

using qds::plat::CLock;

FakeTavrix& FakeTavrix::Get() {
    static FakeTavrix* s_fake = new FakeTavrix;
    return *s_fake;
}

namespace {
uint32_t g_deadWord = FakeTavrix::kDeadWord;
}  // namespace

FakeTavrix::FakeTavrix() {
    m_thread.Start(&FakeTavrix::DeliveryThread, this);
}

FakeTavrix::~FakeTavrix() {
    {
        CLock lock(m_cs);
        m_stop = true;
    }
    m_wake.Set();
    m_thread.Join();
    for (FakeChannel* c : m_channels) delete c;
}

void FakeTavrix::Reset() {
    WaitIdle();
    CLock notify(m_csNotify);
    CLock lock(m_cs);
    m_calls.clear();
    m_pending.clear();
    m_openFails = false;
    m_poisonOnClose = false;
    m_openReason.clear();
    m_channelWord = 0x1234;
    m_writeHook = nullptr;
    for (FakeChannel* c : m_channels) c->open = false;
    m_current = nullptr;
}

void FakeTavrix::SetOpenFails(bool fails) {
    CLock lock(m_cs);
    m_openFails = fails;
}

void FakeTavrix::SetOpenReason(const std::string& reason) {
    CLock lock(m_cs);
    m_openReason = reason;
}

void FakeTavrix::SetChannelWord(uint32_t word) {
    CLock lock(m_cs);
    m_channelWord = word;
    for (FakeChannel* c : m_channels) c->word = word;
}

std::vector<Call> FakeTavrix::Calls() {
    CLock lock(m_cs);
    return m_calls;
}

std::vector<std::string> FakeTavrix::Writes() {
    CLock lock(m_cs);
    std::vector<std::string> out;
    for (const Call& c : m_calls)
        if (c.fn == "write") out.push_back(c.bytes);
    return out;
}

size_t FakeTavrix::CountOf(const char* fn) {
    CLock lock(m_cs);
    size_t n = 0;
    for (const Call& c : m_calls)
        if (c.fn == fn) ++n;
    return n;
}

void FakeTavrix::SetWriteHook(std::function<void(const std::string&)> hook) {
    CLock lock(m_cs);
    m_writeHook = std::move(hook);
}

void FakeTavrix::Deliver(const std::string& bytes, uint32_t delayMs) {
    {
        CLock lock(m_cs);
        m_pending.push_back({bytes, delayMs, -1});
        m_idle.Reset();
    }
    m_wake.Set();
}

void FakeTavrix::SendStatus(int32_t status) {
    {
        CLock lock(m_cs);
        m_pending.push_back({std::string(), 0, status});
        m_idle.Reset();
    }
    m_wake.Set();
}

void FakeTavrix::WaitIdle() {
    m_idle.Wait(qds::plat::kInfinite);
}

void FakeTavrix::DeliverNow(const std::string& bytes) {
    TVX_NOTIFY cb = nullptr;
    void* ctx = nullptr;
    if (!Registered(cb, ctx)) return;
    cb(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), ctx);
}

bool FakeTavrix::Registered(TVX_NOTIFY& callback, void*& context) {
    CLock lock(m_cs);
    if (m_current == nullptr || !m_current->open || m_current->callback == nullptr) return false;
    callback = m_current->callback;
    context = m_current->context;
    return true;
}

void FakeTavrix::SetPoisonOnClose(bool poison) {
    CLock lock(m_cs);
    m_poisonOnClose = poison;
}

void FakeTavrix::Record(Call c) {
    c.tickMs = qds::plat::TickMs();
    CLock lock(m_cs);
    m_calls.push_back(std::move(c));
}

TVX_HANDLE FakeTavrix::Open(const wchar_t* type, const wchar_t* params, int32_t flag) {
    Call c;
    c.fn = "open";
    c.type = type ? type : L"";
    c.paramsNull = params == nullptr;
    c.params = params ? params : L"";
    c.flag = flag;
    bool fails;
    {
        CLock lock(m_cs);
        fails = m_openFails;
        if (fails) t_lastReason = m_openReason;
    }
    FakeChannel* ch = nullptr;
    if (!fails) {
        ch = new FakeChannel{nullptr, 0, nullptr, nullptr, true, nullptr, nullptr};
        ch->pWord = &ch->word;
        CLock lock(m_cs);
        ch->word = m_channelWord;
        m_channels.push_back(ch);
    }
    c.handle = ch;
    Record(c);
    return ch;
}

void FakeTavrix::Register(TVX_HANDLE h, int32_t reserved, TVX_NOTIFY cb, void* ctx) {
    Call c;
    c.fn = "register";
    c.handle = h;
    c.flag = reserved;
    Record(c);
    if (h == nullptr) return;
    CLock notify(m_csNotify);
    CLock lock(m_cs);
    auto* ch = static_cast<FakeChannel*>(h);
    ch->callback = cb;
    ch->context = ctx;
    m_current = ch;
}

void FakeTavrix::Write(TVX_HANDLE h, const uint8_t* data, int32_t length, int32_t timeoutMs) {
    Call c;
    c.fn = "write";
    c.handle = h;
    if (data != nullptr && length > 0)
        c.bytes.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    c.timeoutMs = timeoutMs;
    const std::string bytes = c.bytes;
    Record(std::move(c));
    std::function<void(const std::string&)> hook;
    {
        CLock lock(m_cs);
        hook = m_writeHook;
    }
    if (hook) hook(bytes);
}

void FakeTavrix::Clear(TVX_HANDLE h) {
    Call c;
    c.fn = "clear";
    c.handle = h;
    Record(c);
}

void FakeTavrix::Close(TVX_HANDLE h) {
    Call c;
    c.fn = "close";
    c.handle = h;
    Record(c);
    if (h == nullptr) return;
    // No callback runs once close has returned.
    CLock notify(m_csNotify);
    CLock lock(m_cs);
    auto* ch = static_cast<FakeChannel*>(h);
    ch->open = false;
    if (m_poisonOnClose) ch->pWord = &g_deadWord;
    if (m_current == ch) m_current = nullptr;
}

int32_t FakeTavrix::RegisterStatus(TVX_HANDLE h, TVX_STATUS_NOTIFY cb, void* ctx) {
    Call c;
    c.fn = "status";
    c.handle = h;
    Record(c);
    if (h == nullptr) return -1;
    CLock notify(m_csNotify);
    CLock lock(m_cs);
    auto* ch = static_cast<FakeChannel*>(h);
    ch->statusCallback = cb;
    ch->statusContext = ctx;
    return 0;
}

uint32_t FakeTavrix::DeliveryThread(void* p) {
    auto* self = static_cast<FakeTavrix*>(p);
    for (;;) {
        Pending next;
        {
            CLock lock(self->m_cs);
            if (self->m_stop) return 0;
            if (self->m_pending.empty()) {
                self->m_busy = false;
                self->m_idle.Set();
            } else {
                next = std::move(self->m_pending.front());
                self->m_pending.pop_front();
                self->m_busy = true;
            }
        }
        if (!self->m_busy) {
            self->m_wake.Wait(qds::plat::kInfinite);
            continue;
        }
        if (next.delayMs) qds::plat::SleepMs(next.delayMs);
        CLock notify(self->m_csNotify);
        TVX_NOTIFY cb = nullptr;
        TVX_STATUS_NOTIFY statusCb = nullptr;
        void* ctx = nullptr;
        {
            CLock lock(self->m_cs);
            if (self->m_current && self->m_current->open) {
                cb = self->m_current->callback;
                statusCb = self->m_current->statusCallback;
                ctx = next.status < 0 ? self->m_current->context : self->m_current->statusContext;
            }
        }
        if (next.status >= 0) {
            if (statusCb) statusCb(next.status, ctx);
        } else if (cb) {
            cb(reinterpret_cast<const uint8_t*>(next.bytes.data()),
               static_cast<int32_t>(next.bytes.size()), ctx);
        }
    }
}

}  // namespace fake

extern "C" {

TVX_HANDLE KX_STDCALL tvx_open(const wchar_t* type, const wchar_t* params, int32_t flag) {
    return fake::FakeTavrix::Get().Open(type, params, flag);
}
int32_t KX_STDCALL tvx_register_notify(TVX_HANDLE h, int32_t reserved, TVX_NOTIFY cb, void* ctx) {
    fake::FakeTavrix::Get().Register(h, reserved, cb, ctx);
    return 0;
}
int32_t KX_STDCALL tvx_write(TVX_HANDLE h, const uint8_t* data, int32_t length, int32_t timeoutMs) {
    fake::FakeTavrix::Get().Write(h, data, length, timeoutMs);
    return length;
}
int32_t KX_STDCALL tvx_clear(TVX_HANDLE h) {
    fake::FakeTavrix::Get().Clear(h);
    return 0;
}
int32_t KX_STDCALL tvx_close(TVX_HANDLE h) {
    fake::FakeTavrix::Get().Close(h);
    return 0;
}
int32_t KX_STDCALL tvx_last_error(char* buffer, int32_t size) {
    const std::string& reason = fake::t_lastReason;
    if (buffer != nullptr && size > 0) {
        const size_t n = reason.size() < static_cast<size_t>(size) ? reason.size()
                                                                   : static_cast<size_t>(size) - 1;
        reason.copy(buffer, n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(reason.size());
}
int32_t KX_STDCALL tvx_register_status(TVX_HANDLE h, TVX_STATUS_NOTIFY cb, void* ctx) {
    return fake::FakeTavrix::Get().RegisterStatus(h, cb, ctx);
}

}  // extern "C"
