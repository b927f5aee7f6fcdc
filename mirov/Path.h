#pragma once

#include <string>

namespace mirov {

// Exact wide text. A traits type of its own on purpose: std::wstring links libstdc++'s whole wide-string
// instantiation (about 30 KB), which would take the x86 build over its size goal; this instantiates
// only the members used.
struct WideCharTraits : std::char_traits<wchar_t> {};
using WideString = std::basic_string<wchar_t, WideCharTraits>;

// Full file name of the running executable; empty when the system cannot tell it.
std::string GetExeFileName();
// The same, exact whatever the folder's name: the narrow form maps letters outside the ANSI code
// page to look-alikes or "?".
WideString GetExeFileNameW();

// Everything up to and including the last backslash; without one, up to and including the first
// colon; with neither, nothing.
std::string ExtractDirectory(const std::string& path);
WideString ExtractDirectory(const WideString& path);

// The text after the last backslash; without one, after the last colon; with neither, all of it.
std::string ExtractFileName(const std::string& path);

// ANSI text to wide characters; every ANSI text has an exact wide form.
WideString WidenAnsi(const std::string& text);
// Wide text in the ANSI code page, or empty when that code page cannot show every character exactly
// (no "best fit" look-alikes).
std::string NarrowAnsiExact(const WideString& text);

} // namespace mirov
