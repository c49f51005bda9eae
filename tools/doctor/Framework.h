// The framework library as the doctor uses it: loaded at run time from beside the doctor, so
// that a missing or wrong library is reported instead of stopping the program from starting.
#pragma once

#include <cstdint>
#include <string>

#include "framework/Tavrix.h"

namespace qds::doctor {

class CFramework {
  public:
    // Loads the library from dir, or when dir is empty from the doctor's own folder and then
    // from ../lib beside it (the installed layout on Linux). False with a reason otherwise.
    bool Load(const std::string& dir, std::string* reason);
    const std::string& Path() const { return m_path; }
    bool HasLastError() const { return m_lastError != nullptr; }

    TVX_HANDLE Open(const std::wstring& type, const wchar_t* params);
    int32_t RegisterNotify(TVX_HANDLE h, TVX_NOTIFY callback, void* context);
    int32_t Write(TVX_HANDLE h, const uint8_t* data, int32_t length, int32_t timeoutMs);
    int32_t Clear(TVX_HANDLE h);
    void Close(TVX_HANDLE h);
    // The framework's reason for the calling thread's last failure, or "" when the library
    // offers none (it lacks tvx_last_error or has nothing to say).
    std::string LastError();

  private:
    std::string m_path;
    void* m_lib = nullptr;
    decltype(&tvx_open) m_open = nullptr;
    decltype(&tvx_register_notify) m_register = nullptr;
    decltype(&tvx_write) m_write = nullptr;
    decltype(&tvx_clear) m_clear = nullptr;
    decltype(&tvx_close) m_close = nullptr;
    int32_t(KX_STDCALL* m_lastError)(char*, int32_t) = nullptr;
};

// open TYPE PARAMS: opens a channel, prints the outcome; returns an exit code.
int OpenCommand(CFramework& fw, const std::string& type, const std::string& params,
                bool nullParams);

// listen TYPE PARAMS SECONDS: prints every chunk and every scan (framed and decoded as Kolvex
// does for devType) until seconds pass or maxScans scans came; returns an exit code.
int ListenCommand(CFramework& fw, const std::string& type, const std::string& params,
                  bool nullParams, int seconds, int devType, int maxScans);

}  // namespace qds::doctor
