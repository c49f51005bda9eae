// "HID": a transport plug-in such as Vantrel, driven through its function table.
#include <cstring>

#include "framework/PlugDllFuns.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "tavrix/Params.h"
#include "tavrix/Transport.h"

namespace qds::tvx {

namespace {

// How long one read waits for the first byte: short, so that closing never waits long, and
// long enough that an idle channel costs next to nothing.
constexpr uint32_t kFirstByteWaitMs = 100;

class CHidTransport : public ITransport {
  public:
    CHidTransport(plat::LibHandle lib, const PlugDllFuns& funs, std::wstring params,
                  bool paramsNull)
        : m_lib(lib), m_funs(funs), m_params(std::move(params)), m_paramsNull(paramsNull) {}
    ~CHidTransport() override {
        Close();
        plat::FreeLib(m_lib);
    }
    bool Open() override {
        Close();
        m_dev = m_funs.PlugOpen(m_paramsNull ? nullptr : m_params.c_str());
        return m_dev != nullptr;
    }
    void Close() override {
        if (m_dev != nullptr) m_funs.PlugClose(m_dev);
        m_dev = nullptr;
    }
    // One byte with a bounded wait, then whatever else is there without waiting, so a scan
    // is handed on at once rather than after the plug-in's follow-up wait.
    int32_t Read(uint8_t* buf, uint32_t size) override {
        if (m_dev == nullptr || size == 0) return -1;
        const int32_t first = m_funs.PlugRead(m_dev, buf, 1, kFirstByteWaitMs);
        if (first < 0) return -1;
        if (first == 0) return 0;
        int32_t total = first;
        if (size > 1) {
            const int32_t more = m_funs.PlugRead(m_dev, buf + 1, size - 1, 0);
            if (more > 0) total += more;
        }
        return total;
    }
    int32_t Write(const uint8_t* data, uint32_t length, uint32_t) override {
        if (m_dev == nullptr) return -1;
        if (length == 0) return 0;
        const int32_t r = m_funs.PlugWrite(m_dev, data, length);
        return r == static_cast<int32_t>(length) ? r : -1;
    }
    void Clear() override {
        if (m_dev != nullptr) m_funs.PlugClear(m_dev);
    }
    // Reads end by themselves within kFirstByteWaitMs.
    void Interrupt() override {}
    // A plug-in device has no OS handle of ours to offer.
    uint32_t OsWord() const override { return 0; }

  private:
    plat::LibHandle m_lib;
    PlugDllFuns m_funs;
    void* m_dev = nullptr;
    const std::wstring m_params;
    const bool m_paramsNull;
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
    if (lib == nullptr) return nullptr;
    auto getFuns = reinterpret_cast<GetPlugDllFunsFn>(plat::GetSymbol(lib, PLUG_DLL_FUNS_EXPORT));
    PlugDllFuns funs;
    std::memset(&funs, 0, sizeof funs);
    if (getFuns == nullptr || getFuns(&funs) != 0 || funs.size != sizeof(PlugDllFuns) ||
        funs.PlugOpen == nullptr || funs.PlugClose == nullptr || funs.PlugRead == nullptr ||
        funs.PlugWrite == nullptr || funs.PlugClear == nullptr) {
        plat::FreeLib(lib);
        return nullptr;
    }
    return std::make_unique<CHidTransport>(lib, funs, params, paramsNull);
}

}  // namespace qds::tvx
