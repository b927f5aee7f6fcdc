#include "app/ErrorBox.h"
#include "app/TMainForm.h"
#include "mirov/Contract.h"
#include "mirov/DllSearch.h"
#include "mirov/Error.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything is loaded: no code from the working folder or PATH.
    mirov::RestrictDllSearch();
    // Held, never closed, for the life of the process: the system releases it at the end. A
    // failed creation is no reason not to run, only without the single-instance guard.
    ::CreateMutexA(nullptr, TRUE, contract::kInstanceMutex);
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;
    try {
        TMainForm form(instance); // MainForm refers to it while it exists
        form.Run();
    } catch (const mirov::Error& error) {
        ShowErrorBox(error);
    }
    return 0;
}
