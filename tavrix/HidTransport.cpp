// "HID": a transport plug-in such as Vantrel, driven through its function table.
//
// The plug-in may wait inside a call (a read for its time-out, a clear for its bounded drain, a
// write for as long as the OS holds it), so the transport never makes the channel's lock wait
// on one: each open device is a shared object that PlugClose ends only once no call on it is
// left, writes run on a thread of their own and answer their caller within its time-out, and
// a lost device is kept as the identity to reopen.
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/PlugDllFuns.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "platform/time.h"
#include "tavrix/LastError.h"
#include "tavrix/Params.h"
#include "tavrix/Transport.h"

namespace qds::tvx {

namespace {

// How long one read waits for the first byte: short, so that closing never waits long, and
// long enough that an idle channel costs next to nothing.
constexpr uint32_t kFirstByteWaitMs = 100;

// The loaded plug-in, freed after the last device opened through it.
struct PlugLibrary {
    PlugLibrary(plat::LibHandle lib, const PlugDllFuns& funs) : lib(lib), funs(funs) {}
    ~PlugLibrary() { plat::FreeLib(lib); }
    PlugLibrary(const PlugLibrary&) = delete;
    PlugLibrary& operator=(const PlugLibrary&) = delete;

    const plat::LibHandle lib;
    const PlugDllFuns funs;
};

// One plug-in handle, closed when the last holder lets go: the table's rule that PlugClose
// is the last call on a handle holds even with a write or a clear still running elsewhere.
struct PlugDevice {
    PlugDevice(std::shared_ptr<PlugLibrary> library, void* handle)
        : library(std::move(library)), handle(handle) {}
    ~PlugDevice() { library->funs.PlugClose(handle); }
    PlugDevice(const PlugDevice&) = delete;
    PlugDevice& operator=(const PlugDevice&) = delete;

    // True when the plug-in says the device has closed (a lost device, kept for a reopen).
    bool Closed() const {
        return library->funs.PlugGetStatus != nullptr &&
               library->funs.PlugGetStatus(handle) == PLUG_STATUS_CLOSED;
    }

    const std::shared_ptr<PlugLibrary> library;
    void* const handle;
};

// One write handed to the writer thread. The caller may give up on it at its time-out; the
// write then runs to its end on the writer thread, holding its device.
struct WriteJob {
    std::shared_ptr<PlugDevice> device;
    std::vector<uint8_t> data;
    std::atomic<int32_t> result{-1};
    plat::CEvent done{true, false};
};

class CHidTransport : public ITransport {
  public:
    CHidTransport(std::shared_ptr<PlugLibrary> library, std::string path, std::wstring params,
                  bool paramsNull)
        : m_library(std::move(library)),
          m_path(std::move(path)),
          m_params(std::move(params)),
          m_paramsNull(paramsNull) {}
    ~CHidTransport() override {
        m_quit.store(true);
        m_wake.Set();
        m_writer.Join();
        Close();
    }

    bool Open() override {
        Close();
        std::shared_ptr<PlugDevice> lost;
        {
            plat::CLock lock(m_csDevice);
            lost = std::move(m_lost);
        }
        const PlugDllFuns& f = m_library->funs;
        void* handle = nullptr;
        bool reopened = false;
        if (lost) {
            // The device this channel had, and no other: a second scanner that is attached
            // meanwhile is not taken. A plug-in without the reopen slot answers 0.
            auto reopen =
                reinterpret_cast<PlugReopenFn>(reinterpret_cast<void (*)(void)>(f.PlugReserved9));
            reopened = reopen != nullptr && reopen(lost->handle, &handle) == PLUG_REOPEN_DONE;
        }
        if (!reopened) handle = f.PlugOpen(m_paramsNull ? nullptr : m_params.c_str());
        if (handle == nullptr) {
            if (reopened) {
                plat::CLock lock(m_csDevice);
                m_lost = std::move(lost);  // still the identity for the next try
            }
            SetLastReason("no matching HID device: plug-in " + m_path + ", parameters " +
                          (m_paramsNull ? std::string("(none)") : "\"" + Narrow(m_params) + "\"") +
                          (reopened ? ", waiting for the device this channel had" : ""));
            return false;
        }
        auto device = std::make_shared<PlugDevice>(m_library, handle);
        plat::CLock lock(m_csDevice);
        m_device = std::move(device);
        return true;
    }

    void Close() override {
        std::shared_ptr<PlugDevice> device;
        {
            plat::CLock lock(m_csDevice);
            device = std::move(m_device);
        }
        if (device && device->Closed()) {
            plat::CLock lock(m_csDevice);
            m_lost = std::move(device);
        }
        // Otherwise the handle closes here, or when a write or clear still holding it ends.
    }

    // One byte with a bounded wait, then whatever else is there without waiting, so a scan
    // is handed on at once rather than after the plug-in's follow-up wait. Only the receive
    // thread changes m_device, and only the receive thread reads, so it reads it unlocked.
    int32_t Read(uint8_t* buf, uint32_t size) override {
        PlugDevice* device = m_device.get();
        if (device == nullptr || size == 0) return -1;
        if (m_interrupted.load()) return 0;
        const PlugDllFuns& f = m_library->funs;
        const int32_t first = f.PlugRead(device->handle, buf, 1, kFirstByteWaitMs);
        if (first < 0) return -1;
        if (first == 0) return 0;
        int32_t total = first;
        if (size > 1) {
            const int32_t more = f.PlugRead(device->handle, buf + 1, size - 1, 0);
            if (more > 0) total += more;
        }
        return total;
    }

    // The caller's answer comes within its time-out (0: no limit of ours); a write the OS
    // holds longer goes on on the writer thread, where the plug-in's own limit ends it (and,
    // failing, shuts the device down, which the receive thread then sees).
    int32_t Write(const uint8_t* data, uint32_t length, uint32_t timeoutMs) override {
        std::shared_ptr<PlugDevice> device = Current();
        if (!device) return -1;
        if (length == 0) return 0;
        auto job = std::make_shared<WriteJob>();
        job->device = std::move(device);
        job->data.assign(data, data + length);
        if (!job->done.Valid()) return -1;
        const uint32_t start = plat::TickMs();
        auto left = [&]() -> uint32_t {
            if (timeoutMs == 0) return plat::kInfinite;
            const uint32_t spent = plat::TickMs() - start;
            return spent >= timeoutMs ? 0 : timeoutMs - spent;
        };
        for (;;) {
            {
                plat::CLock lock(m_csWrite);
                if (!m_writerStarted) {
                    if (!m_wake.Valid() || !m_idle.Valid() ||
                        !m_writer.Start(&CHidTransport::WriterThread, this))
                        return -1;
                    m_writerStarted = true;
                }
                if (!m_job) {
                    m_job = job;
                    m_idle.Reset();
                    break;
                }
            }
            // An earlier write still runs: wait for it within this one's time-out.
            const uint32_t wait = left();
            if (wait == 0 || m_idle.Wait(wait) == plat::WaitResult::Failed) return -1;
        }
        m_wake.Set();
        if (job->done.Wait(left()) != plat::WaitResult::Signaled) return -1;
        return job->result.load();
    }

    void Clear() override {
        std::shared_ptr<PlugDevice> device = Current();
        if (device) m_library->funs.PlugClear(device->handle);
    }

    // The read in progress ends within kFirstByteWaitMs (the plug-in bounds it whatever the
    // device sends); no further read starts. Only the channel's Stop calls it.
    void Interrupt() override { m_interrupted.store(true); }
    // A plug-in device has no OS handle of ours to offer.
    uint32_t OsWord() const override { return 0; }
    bool GuardsItself() const override { return true; }

  private:
    std::shared_ptr<PlugDevice> Current() {
        plat::CLock lock(m_csDevice);
        return m_device;
    }

    static uint32_t WriterThread(void* self) {
        static_cast<CHidTransport*>(self)->WriterLoop();
        return 0;
    }
    void WriterLoop() {
        for (;;) {
            m_wake.Wait(plat::kInfinite);
            if (m_quit.load()) return;
            std::shared_ptr<WriteJob> job;
            {
                plat::CLock lock(m_csWrite);
                job = m_job;
            }
            if (!job) continue;
            const int32_t r = m_library->funs.PlugWrite(job->device->handle, job->data.data(),
                                                        static_cast<uint32_t>(job->data.size()));
            job->result.store(r == static_cast<int32_t>(job->data.size()) ? r : -1);
            job->device.reset();  // a device closed meanwhile closes now
            {
                plat::CLock lock(m_csWrite);
                m_job.reset();
                m_idle.Set();
            }
            job->done.Set();
        }
    }

    const std::shared_ptr<PlugLibrary> m_library;
    const std::string m_path;
    const std::wstring m_params;
    const bool m_paramsNull;

    plat::CCriticalSection m_csDevice;     // m_device (written only by the receive thread), m_lost
    std::shared_ptr<PlugDevice> m_device;  // the open device
    std::shared_ptr<PlugDevice> m_lost;    // the device that went away, to reopen
    std::atomic<bool> m_interrupted{false};

    plat::CCriticalSection m_csWrite;  // m_job, m_writerStarted
    std::shared_ptr<WriteJob> m_job;   // the write in progress
    bool m_writerStarted = false;
    plat::CEvent m_wake{false, false};  // a job or the end for the writer thread
    plat::CEvent m_idle{true, true};    // no job in progress
    std::atomic<bool> m_quit{false};
    plat::CThread m_writer;
};

// Vantrel beside the Tavrix library itself.
std::string DefaultPlugInPath() {
    std::string self = plat::ModulePathOf(reinterpret_cast<const void*>(&DefaultPlugInPath));
    const size_t cut = self.find_last_of(plat::PathSeparator());
    const std::string folder = cut == std::string::npos ? std::string() : self.substr(0, cut + 1);
    return folder + plat::SharedLibPrefix() + "Vantrel" + plat::SharedLibSuffix();
}

}  // namespace

std::unique_ptr<ITransport> MakeHidTransport(const wchar_t* params) {
    std::string path = ReadTavrixValue("HID", "PlugIn");
    if (path.empty()) path = DefaultPlugInPath();
    if (params != nullptr) return MakeHidTransportFrom(path, params, false);
    const std::string reg = ReadTavrixValue("HID", "Params");
    return MakeHidTransportFrom(path, Widen(reg), reg.empty());
}

std::unique_ptr<ITransport> MakeHidTransportFrom(const std::string& plugInPath,
                                                 const std::wstring& params, bool paramsNull) {
    plat::LibHandle lib = plat::LoadLib(plugInPath.c_str());
    if (lib == nullptr) {
        SetLastReason("HID plug-in library not loaded: " + plugInPath);
        return nullptr;
    }
    auto getFuns = reinterpret_cast<GetPlugDllFunsFn>(plat::GetSymbol(lib, PLUG_DLL_FUNS_EXPORT));
    PlugDllFuns funs;
    std::memset(&funs, 0, sizeof funs);
    std::string wrong;
    if (getFuns == nullptr)
        wrong = std::string("no ") + PLUG_DLL_FUNS_EXPORT + " export";
    else if (getFuns(&funs) != 0)
        wrong = std::string(PLUG_DLL_FUNS_EXPORT) + " failed";
    else if (funs.size != sizeof(PlugDllFuns))
        wrong = "table of " + std::to_string(funs.size) + " bytes, want " +
                std::to_string(sizeof(PlugDllFuns));
    else if (funs.PlugOpen == nullptr || funs.PlugClose == nullptr || funs.PlugRead == nullptr ||
             funs.PlugWrite == nullptr || funs.PlugClear == nullptr)
        wrong = "a table slot is empty";
    if (!wrong.empty()) {
        plat::FreeLib(lib);
        SetLastReason("HID plug-in table wrong: " + plugInPath + ": " + wrong);
        return nullptr;
    }
    auto library = std::make_shared<PlugLibrary>(lib, funs);
    return std::make_unique<CHidTransport>(std::move(library), plugInPath, params, paramsNull);
}

}  // namespace qds::tvx
