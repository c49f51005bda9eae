// Parameter strings "key=value;key=value" and the framework's registry values.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qds::tvx {

// Splits params into lower-cased keys and their values. Empty entries (";;", a trailing ';')
// are skipped. False on an entry without '=' or with an empty key, or on a key given twice.
bool ParseParams(const std::wstring& params, std::map<std::string, std::string>* out);

// A decimal number of at most 9 digits, nothing else. False otherwise.
bool ParseDecimal(const std::string& text, uint32_t* out);

// Text of value `name` under HKEY_LOCAL_MACHINE\SOFTWARE\Tavrix\<sub>, or "" when the key
// or value is missing, not text, or empty.
std::string ReadTavrixValue(const char* sub, const char* name);
// The dword `name` under the same key; false when the key or value is missing or not a dword.
bool ReadTavrixDword(const char* sub, const char* name, uint32_t* out);

std::wstring Widen(const std::string& s);
std::string Narrow(const std::wstring& s);  // non-ASCII characters become '?'

}  // namespace qds::tvx
