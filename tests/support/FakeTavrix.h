// A test double of the communication framework for unit tests.
//
// Records every call with its arguments and bytes, hands bytes to the registered callback
// from a thread of its own (so acknowledgements can end a wait on the test's thread), and
// can be told to fail tvx_open (with a reason for tvx_last_error). It offers the framework's
// extras (tvx_last_error, tvx_register_status) and sends lost/back status on the same thread
// as the bytes. One instance per process: FakeTavrix::Get(). Like the real framework it is
// never destroyed, so a service object destroyed at process exit may still close its channel.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/TavrixExt.h"
#include "platform/sync.h"

namespace fake {

struct Call {
    std::string fn;  // "open", "register", "write", "clear", "close", "status"
    TVX_HANDLE handle = nullptr;
    std::wstring type;        // open
    std::wstring params;      // open
    bool paramsNull = false;  // open
    int32_t flag = 0;         // open; register's reserved argument
    std::string bytes;        // write
    int32_t timeoutMs = 0;    // write
    uint32_t tickMs = 0;      // when the call was made
};

// The handle's layout: first word points to the 32-bit channel word.
struct FakeChannel {
    uint32_t* pWord;
    uint32_t word;
    TVX_NOTIFY callback;
    void* context;
    bool open;
    TVX_STATUS_NOTIFY statusCallback;
    void* statusContext;
};

class FakeTavrix {
  public:
    static FakeTavrix& Get();

    // Forgets recorded calls, pending deliveries, hooks and failure settings. Channels
    // handed out stay valid memory (they are never freed while the process lives).
    void Reset();
    void SetOpenFails(bool fails);
    // The reason tvx_last_error gives the thread whose tvx_open failed ("" : none).
    void SetOpenReason(const std::string& reason);
    void SetChannelWord(uint32_t word);

    std::vector<Call> Calls();
    std::vector<std::string> Writes();  // bytes of each tvx_write, in order
    size_t CountOf(const char* fn);

    // Runs on the writing thread after each tvx_write is recorded.
    void SetWriteHook(std::function<void(const std::string& bytes)> hook);

    // Queues bytes for the delivery thread, which waits delayMs and then calls the callback
    // of the most recently registered open channel.
    void Deliver(const std::string& bytes, uint32_t delayMs = 0);
    // Queues a status (TVX_STATUS_LOST or _BACK) for the delivery thread, which hands it to
    // the status callback of the most recently registered open channel.
    void SendStatus(int32_t status);
    // Blocks until every queued delivery has been handed to the callback (or dropped).
    void WaitIdle();
    // Hands the bytes to the current callback on the calling thread, before returning (as a
    // framework that delivers from inside tvx_write would).
    void DeliverNow(const std::string& bytes);
    // The callback and context of the most recently registered open channel (false: none).
    bool Registered(TVX_NOTIFY& callback, void*& context);
    // From now on a closed channel's first word points to kDeadWord, so a reader that follows
    // a handle after tvx_close returned sees it.
    void SetPoisonOnClose(bool poison);
    static constexpr uint32_t kDeadWord = 0xDEADDEADu;

    // Entry points behind the tvx_ exports.
    TVX_HANDLE Open(const wchar_t* type, const wchar_t* params, int32_t flag);
    void Register(TVX_HANDLE h, int32_t reserved, TVX_NOTIFY cb, void* ctx);
    void Write(TVX_HANDLE h, const uint8_t* data, int32_t length, int32_t timeoutMs);
    void Clear(TVX_HANDLE h);
    void Close(TVX_HANDLE h);
    int32_t RegisterStatus(TVX_HANDLE h, TVX_STATUS_NOTIFY cb, void* ctx);

  private:
    FakeTavrix();
    ~FakeTavrix();
    static uint32_t DeliveryThread(void* self);
    void Record(Call c);

    struct Pending {
        std::string bytes;
        uint32_t delayMs;
        int32_t status;  // -1: bytes; otherwise a status for the status callback
    };

    qds::plat::CCriticalSection m_cs;        // state below
    qds::plat::CCriticalSection m_csNotify;  // held while the callback runs
    qds::plat::CEvent m_wake{false, false};
    qds::plat::CEvent m_idle{true, true};
    qds::plat::CThread m_thread;
    bool m_stop = false;
    std::vector<Call> m_calls;
    std::deque<Pending> m_pending;
    bool m_busy = false;
    bool m_openFails = false;
    bool m_poisonOnClose = false;
    std::string m_openReason;
    uint32_t m_channelWord = 0x1234;
    FakeChannel* m_current = nullptr;
    std::vector<FakeChannel*> m_channels;
    std::function<void(const std::string&)> m_writeHook;
};

}  // namespace fake
