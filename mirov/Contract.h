#pragma once

#include <windows.h>

#include <cstddef>

// What the program promises the programs that talk to it: the installer and its access tool, the
// developers' tools, the tests and the benchmarks. Written here once: where two copies drift apart,
// the installer waits for a window it cannot find. In mirov/, the bottom layer, because it is the one
// layer that all of them may include, the threshold store in settings/ too; constants alone, so
// including it links nothing. cmake/Contract.cmake hands the installer's script the strings it needs,
// read from this file: each stays on one line, `constexpr char kName[] = "...";`.
namespace contract {

// The hidden main window, as FindWindow finds it.
constexpr char kWindowClass[] = "TMainForm";
constexpr char kWindowTitle[] = "Torvex Help";

// The quit request: this message, with kQuitRequest in the low 8 bits of wParam ("U"); lParam and the
// other bits of wParam are ignored.
constexpr UINT kQuitMessage = WM_USER;
constexpr WPARAM kQuitRequest = 0x55;
constexpr bool IsQuitRequest(WPARAM wParam) {
    return (wParam & 0xFF) == kQuitRequest;
}

// The single-instance mutex of one logon, exactly so (blanks included, no namespace prefix).
constexpr char kInstanceMutex[] = "Orvane Torvex Help 07062006";

// The key under HKEY_LOCAL_MACHINE that holds the user level's thresholds, which the installer opens
// to standard users.
constexpr char kThresholdKey[] = "Software\\Orvane\\TORVEX3";
// The most the program asks for on that key (reading values; setting and deleting them), which the
// installer grants the interactive users, and no more.
constexpr REGSAM kThresholdKeyRights = KEY_QUERY_VALUE | KEY_SET_VALUE;

// The program's value under HKLM\Software\Microsoft\Windows\CurrentVersion\Run.
constexpr char kRunValue[] = "TorvexHelp";

// One of the strings above for the W functions: ASCII, widened when compiled.
template <size_t N> struct WideText { wchar_t text[N]; };
template <size_t N> constexpr WideText<N> Wide(const char (&ascii)[N]) {
    WideText<N> wide{};
    for (size_t i = 0; i < N; ++i)
        wide.text[i] = static_cast<wchar_t>(ascii[i]);
    return wide;
}

} // namespace contract
