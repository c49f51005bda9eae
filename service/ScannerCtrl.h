// CScannerCtrl: the one Scanner service object of the process.
//
// Its methods live in eight files; each section below names the file of its group:
// service/ScannerCtrl.cpp, service/Lifecycle.cpp, service/Properties.cpp,
// service/Commands.cpp, scan/Framing.cpp, scan/Fifo.cpp, scan/Decode.cpp and jni/AddOn.cpp.
// The event wait, connection state and failure reason are m_Events (service/FrameworkExtras.h).
// The named values (device types, State, result codes, property indexes) are in
// service/ScannerTypes.h.
//
// Threads: the JNI entry points call from any Java thread; the framework's receive thread
// calls ReceiveDataFromTAVRIX (and through it SetDeviceEnabled, PushFifoData, AddOnPulse).
// Locks: m_csFifo (held over a whole PopFifoData) before m_csData (short container and
// counter sections, no callouts inside); the trace log's lock is innermost. Numeric
// properties are atomics because several threads read and write them without a lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "framework/Tavrix.h"
#include "jni/AddOnOutput.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "scan/FifoAllocator.h"
#include "service/FrameworkExtras.h"
#include "service/ScannerTypes.h"

namespace qds {

class CTraceLog;

// Holds one opened registry key and closes it when destroyed.
class CRegistry {
  public:
    CRegistry() : m_hRoot(plat::RegRootLocalMachine()) {}
    virtual ~CRegistry() {
        if (m_hKey != nullptr) plat::RegClose(m_hKey);
    }
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;
    bool Open(const char* subKey, plat::RegView view) {
        return plat::RegOpen(m_hRoot, subKey, view, &m_hKey);
    }
    plat::RegHandle Key() const { return m_hKey; }

  private:
    plat::RegHandle m_hRoot;
    plat::RegHandle m_hKey = nullptr;
};

namespace OPOS {

class JNIEvents;

class CScannerCtrl {
  public:
    // --- the object itself (service/ScannerCtrl.cpp) ---
    // The process's one service object, constructed on first use (exactly once under
    // concurrent first calls) and destroyed when the library is unloaded.
    static CScannerCtrl& Instance();

    // Production code goes through Instance(); tests construct their own objects.
    CScannerCtrl();
    ~CScannerCtrl();
    CScannerCtrl(const CScannerCtrl&) = delete;
    CScannerCtrl& operator=(const CScannerCtrl&) = delete;

    // --- Open and the fixed texts (service/ScannerCtrl.cpp) ---
    // devType is a DevType, commuType a CommuType; both are stored as given.
    int32_t Open(int32_t devType, int32_t commuType, int32_t comPort, bool keepDataEvents);
    const std::string& CheckHealthText() const;

    // --- claim, release, clear and close (service/Lifecycle.cpp) ---
    int32_t Close();
    int32_t ClaimDevice();
    int32_t Release();
    int32_t ClearInput();

    // --- property setters, outcome left in ResultCode (service/Properties.cpp) ---
    void SetDataEventEnabled(int32_t value);
    void SetDeviceEnabled(int32_t value);
    void SetFreezeEvents(int32_t value);
    void SetAutoDisable(int32_t value);
    void SetBinaryConversion(int32_t value);
    void SetDecodeData(int32_t value);

    // --- property dispatch by OPOS index, the JNI layer's tables (service/Properties.cpp) ---
    int32_t GetPropertyNumber(int32_t index);
    // Leaves out empty for an index with no text (the caller hands back an empty array).
    // The text is copied under m_csData so that a delivery cannot tear it.
    void GetPropertyString(int32_t index, std::string& out);
    void SetPropertyNumber(int32_t index, int32_t value);

    // --- device command channel (service/Commands.cpp) ---
    int32_t SendCommand(const void* data, int32_t ackWaitMs, int32_t length);
    void EnableCodeIDPre();
    void DisableCodeIDPre();
    void EnableBarcodeSuf();
    void DisableBarcodeSuf();

    // --- receive path, framework thread (scan/Framing.cpp) ---
    // Reassembles the chunk with what is buffered, frames it with NextFrame (scan/Framing.h)
    // and applies each frame: acknowledgement flag, setup mode, AutoDisable, push, pulse.
    void ReceiveDataFromTAVRIX(const uint8_t* data, int32_t length);

    // --- scan FIFO and data events (scan/Fifo.cpp) ---
    // Without a Java event sink the FIFO holds at most this many scans; later ones are dropped
    // (with a sink the limit is 2048 and the sink hears of each drop).
    static constexpr int32_t kFifoLimit = 4096;
    void PushFifoData(const std::string& scan);
    void PopFifoData();
    void FireDataEvent(const std::string& scan);
    void SetFiringEvent(int32_t value);
    int32_t GetDataCount();
    // Empties the FIFO and sets DataCount to 0. Waits for a delivery in progress, so
    // DataCount never drops below the scans still queued. The emptied scans are counted in
    // m_ScansCleared.
    void EmptyFifo();

    // --- symbology decoding (scan/Decode.cpp) ---
    int32_t DecodeDataToDataType(const std::string& scan);
    // Fills m_ScanData and m_ScanDataLabel (both empty on entry) from the scan. Caller
    // holds m_csData.
    void ApplyLabelRules(const std::string& scan);

    // --- add-on output hook (jni/AddOn.cpp) ---
    void LoadAddOn(const char* libFile, const char* funcName, int32_t channel, int32_t activeValue,
                   int32_t pulseOnScan, int32_t pulseMs, int32_t suffix);
    bool AddOnPulse(uint32_t word);
    // Sets the output to its active level without the pulse's second call.
    bool AddOnSet(uint32_t word);
    // The 32-bit word that the channel handle's first word points to; 0 without a channel.
    uint32_t ChannelWord() const;
    // The same, false without a channel. The handle is read and followed under m_csTvx, so a
    // Close or ClaimDevice on another thread cannot free it in between.
    bool TryChannelWord(uint32_t& word) const;

    // Takes the channel out of m_hTvx under m_csTvx and closes it outside that lock
    // (tvx_close joins the framework's receive thread). Null does nothing unless closeNull.
    void CloseChannel(bool closeNull);

    // Data model, in declaration order. Public: the JNI layer, the receive path and the
    // tests use the system's own member names.
    std::atomic<uint8_t> m_bSuffix{0};
    std::atomic<uint8_t> m_bKeepDataEventEnabled{0};
    std::atomic<int32_t> m_Claimed{0};
    std::atomic<int32_t> m_DataEventEnabled{0};
    std::atomic<int32_t> m_DeviceEnabled{0};
    std::atomic<int32_t> m_FreezeEvents{0};
    std::atomic<int32_t> m_OutputID{0};
    std::atomic<int32_t> m_ResultCode{0};
    std::atomic<int32_t> m_ResultCodeExtended{0};
    std::atomic<int32_t> m_State{OPOS_S_CLOSED};
    std::atomic<int32_t> m_ServiceObjectVersion{1013005};
    std::atomic<int32_t> m_AutoDisable{0};
    std::atomic<int32_t> m_BinaryConversion{0};
    std::atomic<int32_t> m_CapPowerReporting{0};
    std::atomic<int32_t> m_DataCount{0};  // changed under m_csData; atomic for the log reads
    std::atomic<int32_t> m_PowerNotify{0};
    std::atomic<int32_t> m_PowerState{OPOS_PS_UNKNOWN};
    std::atomic<int32_t> m_DecodeData{0};
    std::atomic<int32_t> m_ScanDataType{0};  // guarded by m_csData
    std::atomic<JNIEvents*> m_pJniEvents{nullptr};
    std::atomic<int32_t> m_DevType{0};
    std::atomic<int32_t> m_bOpened{0};
    std::atomic<int32_t> m_CommuType{0};
    std::atomic<int32_t> m_ComPort{0};
    std::atomic<int32_t> m_bSetupMode{0};
    std::atomic<TVX_HANDLE> m_hTvx{nullptr};  // swapped out only under m_csTvx
    plat::CCriticalSection m_csData;
    int32_t m_FiringEvent = 0;  // guarded by m_csData
    AddOnOutput m_AddOn;        // guarded by m_csAddOn
    std::atomic<int32_t> m_bAckReceived{ACK_NONE};
    plat::CCriticalSection m_csFifo;
    std::string m_RecvText;  // receive thread only (serialised by the receive lock)
    std::string m_PopText;   // under m_csFifo
    // guarded by m_csData; its allocator reuses freed blocks (no allocation per scan)
    std::deque<std::string, CFifoAllocator<std::string>> m_FifoData;
    std::vector<std::string> m_StringPool;  // guarded by m_csData
    std::string m_ScanData;                 // guarded by m_csData
    std::string m_ScanDataLabel;            // guarded by m_csData
    const std::string m_ServiceObjectDescription{"Opos Scanner Service Object"};
    std::string m_DeviceDescription{"Scanner"};
    std::string m_DeviceName;
    plat::CCriticalSection m_csAddOn;  // LoadAddOn against a pulse on the receive thread
    // Held while m_hTvx is followed to its channel word and while it is swapped out, never
    // across a framework call.
    mutable plat::CCriticalSection m_csTvx;
    // Whether the device sends its Code ID prefix: set when a Code ID command is written
    // (ClaimDevice sends the one matching DecodeData). Read by the receive path when it
    // queues a text scan.
    std::atomic<int32_t> m_bCodeIdPrefix{1};
    // Scans delivered as data events, and those that never reach the FIFO or leave it
    // undelivered, by cause.
    std::atomic<int64_t> m_ScansDelivered{0};
    std::atomic<int64_t> m_ScansDroppedFull{0};      // FIFO at its bound
    std::atomic<int64_t> m_ScansDroppedDisabled{0};  // received while DeviceEnabled is 0
    std::atomic<int64_t> m_ScansCleared{0};          // emptied by ClearInput, Release, Close
    bool m_bFifoFullBurst = false;  // guarded by m_csData: a drop was logged since the last push
    // Event wait, connection state and failure reason (service/FrameworkExtras.cpp).
    CServiceEvents m_Events;

  private:
    void ReadSuffixSetting();                                // service/ScannerCtrl.cpp
    void QueueScan(CTraceLog& log, int32_t devType);         // scan/Framing.cpp
    void ReceiveChunk(const uint8_t* data, int32_t length);  // scan/Framing.cpp
    void PushOrDrop(const std::string& scan);                // scan/Fifo.cpp
};

// The framework's receive callback; context is the service object (scan/Framing.cpp, as
// the three test seams below).
void KX_STDCALL ReceiveNotify(const uint8_t* data, int32_t length, void* context);

// Replaces the millisecond tick that the receive path's gap test reads (null: the real one).
using TickSource = uint32_t (*)();
void SetReceiveTickSource(TickSource source);
// Forgets any partly assembled bytes of the receive path (tests start from a clean state).
void ResetReceiveState();

}  // namespace OPOS
}  // namespace qds
