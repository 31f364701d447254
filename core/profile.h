// Raw access to profile-format files ("[section]" lines and "key=value" lines)
// through the system's own profile calls, so every other reader of the file
// (the driver library, the user's text editor) sees exactly the system's format.
#pragma once

#include <windows.h>

#include <string>

// The key name followed by its suffix (a port's keys carry the port number).
std::wstring ProfileKey(const wchar_t* key, const std::wstring& suffix);

// Reads with a buffer of `bufferChars` characters (terminator included), so the
// text comes back cut to bufferChars - 1 characters. A missing key gives `def`.
std::wstring ProfileReadText(const std::wstring& file, const wchar_t* section, const std::wstring& key,
                             const wchar_t* def, DWORD bufferChars);

// Reads the whole value: starts with 100 characters and doubles the buffer while
// the text read fills it.
std::wstring ProfileReadFullText(const std::wstring& file, const wchar_t* section, const std::wstring& key,
                                 const wchar_t* def);

// The value as the system reads integers: decimal, the default when the key is
// missing, 0 when it does not start with a number; negative values wrap.
UINT ProfileReadInt(const std::wstring& file, const wchar_t* section, const std::wstring& key, INT def);

// Writes one key; a null value removes the key. Paths in any script must
// survive, so a file that does not exist yet is first created empty with a
// UTF-16 byte-order mark (the system then keeps it in UTF-16), and an 8-bit file
// is converted to UTF-16 before a text outside its code page goes into it.
void ProfileWriteText(const std::wstring& file, const wchar_t* section, const std::wstring& key, const wchar_t* value);

void ProfileRemoveSection(const std::wstring& file, const wchar_t* section);
