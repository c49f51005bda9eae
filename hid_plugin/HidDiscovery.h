// Finding HID-POS scanners among the present HID interfaces, and choosing one by the "id"
// entry of the parameter string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/hid_device.h"

namespace qds::hid {

constexpr int kMaxDevicePaths = 30;
constexpr size_t kDevicePathChars = 260;  // per entry, the terminator included
constexpr size_t kParamValueChars = 20;   // a value has at most 19 characters

// Looks up `key` in a "key=value;key=value" text. Copies the value and its terminator to
// `value` (kParamValueChars wide characters) and returns 1 when found; 0 when not found, for
// a null argument, an empty key, a value of 20 or more characters, or when no memory can be
// had for the private copy. The caller's text is never changed.
int GetParamValue(const wchar_t* text, const wchar_t* key, wchar_t* value);

// True when the path names a HID-POS scanner we drive: it begins with \\?\hid (in any letter
// case) followed by #vid_03f0&pid_5539, or by #vid_6a2f&pid_ and a product id ending in 10.
bool IsHidPosPath(const wchar_t* path);

// The index of the device that `params` chooses among `count` listed devices, or -1 when the
// choice is out of range. Without a usable "id" entry the last device listed is chosen.
int ChooseDeviceIndex(const wchar_t* params, int count);

// The source of HID interface paths; the platform's list unless a test puts in its own.
using HidPathLister = void (*)(plat::HidPathVisitor visit, void* context);

// Runs discovery into the plug-in's path table and returns the number of matching devices
// (0 to 30). Matching paths of 260 characters or more do not fit an entry and are skipped.
// Callers hold the table lock (see ChooseDevicePath).
int EnumHidPosDevices(HidPathLister lister);

// Under the table lock: discovery, then the choice by `params`. Copies the chosen path to
// `path` (kDevicePathChars wide characters) and returns true, or returns false when nothing
// matching was found or the choice is out of range. Safe to call from several threads.
bool ChooseDevicePath(const wchar_t* params, wchar_t* path,
                      HidPathLister lister = plat::ListHidInterfacePaths);

// The serial number of a listed interface path (the platform's unless a test puts in its own).
using HidSerialOf = std::wstring (*)(const wchar_t* path);

// Under the table lock: discovery, then the path of the very device that was opened as
// `path` with serial number `serial`, copied to `found` (kDevicePathChars wide characters).
// With a serial number, the device listed with the same vendor and product ids and that serial
// number (at `path` first, else wherever it is listed now, as when Linux gives a replugged
// device another node); without one, `path` itself while it is listed. False when it is not
// there: another scanner is never taken in its place.
bool FindSameDevice(const wchar_t* path, const wchar_t* serial, wchar_t* found,
                    HidPathLister lister = plat::ListHidInterfacePaths,
                    HidSerialOf serialOf = plat::HidSerialNumber);

// Entry i of the path table as the last discovery left it (tests only; take no lock).
const wchar_t* DevicePathEntry(int index);

}  // namespace qds::hid
