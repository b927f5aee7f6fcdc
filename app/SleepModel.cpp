#include "app/SleepModel.h"

#include "mirov/DebugTrace.h"
#include "mirov/Handles.h"
#include "mirov/Lookup.h"

#include <string>

namespace {

// Both questions are newer than Windows 7, the oldest the program runs on, so they are resolved at
// run time; powrprof.dll is loaded only for this, to keep it out of the imports.
using CallNtPowerInformationFunction = LONG(WINAPI*)(POWER_INFORMATION_LEVEL, PVOID, ULONG, PVOID, ULONG);
using RegisterFunction = HPOWERNOTIFY(WINAPI*)(HANDLE, DWORD);

constexpr LONG kStatusSuccess = 0;

// From the system folder only: a copy beside the program must not be loaded instead.
mirov::UniqueModule LoadSystemLibrary(const char* name) {
    char folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return mirov::UniqueModule();
    return mirov::UniqueModule(::LoadLibraryA((std::string(folder) + "\\" + name).c_str()));
}

} // namespace

SleepModel::SleepModel(Query modernStandby) : m_modernStandby(modernStandby()) {}

SleepModel::~SleepModel() {
    if (m_registration)
        m_unregister(m_registration);
}

bool SleepModel::QueryModernStandby() {
    const mirov::UniqueModule powrprof = LoadSystemLibrary("powrprof.dll");
    const auto query =
        mirov::Lookup<CallNtPowerInformationFunction>(powrprof.Get(), "CallNtPowerInformation");
    POWER_PLATFORM_INFORMATION platform = {};
    // Any failure (older Windows, a level the system does not know) means a classic machine.
    return query && query(PlatformInformation, nullptr, 0, &platform, sizeof platform) == kStatusSuccess &&
           platform.AoAc;
}

bool SleepModel::IsWake(DWORD event) const {
    switch (event) {
    case PBT_APMRESUMESUSPEND:
    case PBT_APMRESUMECRITICAL:
        return true;
    case PBT_APMRESUMEAUTOMATIC:
        // A classic wake brings 6 or 7 as well, so 18 stays ignored there.
        return m_modernStandby;
    default:
        return false;
    }
}

bool SleepModel::Register(HWND window) {
    if (!m_modernStandby || m_registration)
        return m_registration != nullptr;
    const HMODULE user32 = ::GetModuleHandleA("user32.dll");
    const auto registerWindow = mirov::Lookup<RegisterFunction>(user32, "RegisterSuspendResumeNotification");
    const auto unregister = mirov::Lookup<UnregisterFunction>(user32, "UnregisterSuspendResumeNotification");
    if (registerWindow && unregister)
        m_registration = registerWindow(window, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!m_registration) {
        // Unregistered, the program hears of no wake on this machine: say so.
        const DWORD error = ::GetLastError();
        mirov::DebugTrace("[SleepModel::Register] failed! GetLastError returned %d", static_cast<int>(error));
        return false;
    }
    m_unregister = unregister;
    return true;
}
