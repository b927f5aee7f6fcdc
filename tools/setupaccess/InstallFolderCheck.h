#pragma once

#include "tools/setupaccess/ChangeRights.h"

#include <windows.h>

#include <string>
#include <vector>

// Whether only the trusted accounts may change what the program is installed into and loads: every
// folder from the drive's root down (none of them a link elsewhere), a folder yet to be made as it
// would be made, and in the install folder the named files and every library (*.dll) there. Whoever
// may delete or rename a folder above it could put one of their own in its place.
class InstallFolderCheck {
public:
    struct Result {
        bool safe;
        std::wstring message; // "<path>: why not", or what was found safe
    };

    explicit InstallFolderCheck(const ChangeRights& rights);

    Result Check(const std::wstring& folder, const std::vector<std::wstring>& files) const;

private:
    // "" when fine; else why not. The judged object is a folder of the path or a file in it.
    std::wstring WhyUnsafeObject(const std::wstring& path, ChangeRights::Kind kind) const;
    // path: the nearest folder that exists; on return, the new folder judged last.
    std::wstring WhyUnsafeNew(std::wstring& path, const std::vector<std::wstring>& missing) const;
    std::wstring WhyUnsafeFile(const std::wstring& path) const;
    Result CheckFiles(const std::wstring& folder, const std::vector<std::wstring>& files) const;

    const ChangeRights& m_rights;
};
