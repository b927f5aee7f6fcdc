#pragma once

#include "mirov/Handles.h"
#include "installer/ChangeRights.h"
#include "installer/CommandResult.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Whether only the trusted accounts may change what the program is installed into and loads: every
// folder from the drive's root down (none of them a link elsewhere), a folder yet to be made as it
// would be made, and every file and folder in the install folder, at any depth: the vendor library
// may load any of them. Whoever may delete or rename a folder above it could put one of their own in
// its place. A network folder is refused: its list is the server's, its administrators not this
// machine's.
class InstallFolderCheck {
public:
    using Descriptor = mirov::UniqueLocal<PSECURITY_DESCRIPTOR>;
    // The owner and access list of a file or folder; empty with the error on failure.
    using ReadSecurity = std::function<Descriptor(const std::wstring& path, DWORD& error)>;

    enum class Scope {
        Everything, // to install: the path and everything in the folder
        Folders,    // to remove files there: the path alone
    };
    // The system's lists, read through GetNamedSecurityInfoW.
    static Descriptor ReadNamedSecurity(const std::wstring& path, DWORD& error);

    explicit InstallFolderCheck(const ChangeRights& rights, ReadSecurity read = ReadNamedSecurity);

    // Done when only the trusted accounts may change it, with what was found safe; else Refused, with
    // "<path>: why not".
    CommandResult Check(const std::wstring& folder, Scope scope) const;

private:
    // "" when fine; else why not. The judged object is a folder of the path or something in it.
    std::wstring WhyUnsafeObject(const std::wstring& path, ChangeRights::Kind kind) const;
    // path: the nearest folder that exists; on return, the new folder judged last.
    std::wstring WhyUnsafeNew(std::wstring& path, const std::vector<std::wstring>& missing) const;
    // "" when fine; else "<path>: why not".
    std::wstring WhyUnsafeContent(const std::wstring& folder) const;

    const ChangeRights& m_rights;
    ReadSecurity m_read;
};
