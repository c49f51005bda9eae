// The gate of the framework's receive callback.
//
// The framework calls ReceiveNotify on a thread of its own at any moment, also while the
// process exits and static objects are destroyed (it keeps channels open at exit). Everything
// the callback touches before it knows that its service object is alive lives here and is
// never destroyed: the lock that serialises whole receive calls and the set of objects that
// take callbacks. A service object is admitted when constructed and retired first thing when
// destroyed; once Retire has returned, a callback naming it does nothing.
#pragma once

#include <cstdint>
#include <string>

#include "platform/sync.h"

namespace qds::OPOS {

class CScannerCtrl;

namespace receive_gate {

// Held over every call of the receive path. Recursive, so that a chunk the framework hands
// over from inside a write of the receive thread itself reaches the re-entry guard below
// instead of a deadlock.
plat::CCriticalSection& Lock();

void Admit(const CScannerCtrl* ctrl);
// Waits for a receive call in progress, then shuts the object out.
void Retire(const CScannerCtrl* ctrl);
// Caller holds Lock().
bool Admitted(const CScannerCtrl* ctrl);

// True on a thread that is inside the receive path (ReceiveDataFromTAVRIX). A command written
// from there cannot wait for its acknowledgement: only this same thread could report it.
bool OnReceivePath();

// Marks the calling thread as inside the receive path for its lifetime.
class CReceivePathMark {
  public:
    CReceivePathMark();
    ~CReceivePathMark();
    CReceivePathMark(const CReceivePathMark&) = delete;
    CReceivePathMark& operator=(const CReceivePathMark&) = delete;

  private:
    bool m_outer;
};

// Chunks that arrived while the receive path was already running on this thread (the
// framework delivered from inside one of our writes). Kept in order and framed once the
// running call has finished with the buffer, so no frame is examined twice. Caller holds
// Lock().
struct DeferredChunk {
    std::string bytes;
    int32_t length = 0;     // as received (may be negative)
    bool nullData = false;  // the framework passed no bytes
};
void Defer(const uint8_t* data, int32_t length);
bool TakeDeferred(DeferredChunk& out);

}  // namespace receive_gate
}  // namespace qds::OPOS
