#include "installer/InstallFolderCheck.h"

#include "mirov/Handles.h"

#include <aclapi.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

namespace {

constexpr DWORD kLongestPath = 32768;

// The path made absolute, its root ("C:\" or "\\server\share\") and the folder names below it; false
// for a path of another form (a device path, one without a drive).
bool SplitPath(const std::wstring& path, std::wstring& root, std::vector<std::wstring>& names) {
    std::wstring absolute(kLongestPath, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), kLongestPath, absolute.data(), nullptr);
    if (length == 0 || length >= kLongestPath)
        return false;
    absolute.resize(length);
    size_t rest = 0;
    if (absolute.size() >= 3 && absolute[1] == L':' && absolute[2] == L'\\') {
        rest = 3;
    } else if (absolute.rfind(L"\\\\", 0) == 0 && absolute[2] != L'?' && absolute[2] != L'.') {
        const size_t share = absolute.find(L'\\', 2);
        if (share == std::wstring::npos || share == 2)
            return false;
        rest = absolute.find(L'\\', share + 1);
        if (rest == std::wstring::npos)
            absolute += L'\\';
        rest = rest == std::wstring::npos ? absolute.size() : rest + 1;
    } else {
        return false;
    }
    root = absolute.substr(0, rest);
    for (size_t start = rest; start < absolute.size();) {
        const size_t end = std::min(absolute.find(L'\\', start), absolute.size());
        if (end > start)
            names.push_back(absolute.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\')
        path.pop_back();
    return path;
}

// The path the object really has, with links followed ("" when it cannot be told), as a plain path.
std::wstring FinalPath(const std::wstring& path) {
    const mirov::UniqueFileHandle object(
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring text(kLongestPath, L'\0');
    const DWORD length =
        object ? ::GetFinalPathNameByHandleW(object.Get(), text.data(), kLongestPath, VOLUME_NAME_DOS) : 0;
    if (length == 0 || length >= kLongestPath)
        return std::wstring();
    text.resize(length);
    if (text.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\\\" + text.substr(8);
    return text.rfind(L"\\\\?\\", 0) == 0 ? text.substr(4) : text;
}

// A junction, symbolic link or mount point, or an object reached through one: under Wine a link to a
// file shows no reparse mark, but its final path is elsewhere.
bool IsLink(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return true;
    // The final path names the long form of each folder.
    std::wstring expected(kLongestPath, L'\0');
    const DWORD length = ::GetLongPathNameW(path.c_str(), expected.data(), kLongestPath);
    expected = WithoutTrailingSlash(length > 0 && length < kLongestPath ? expected.substr(0, length) : path);
    const std::wstring reached = WithoutTrailingSlash(FinalPath(path));
    return ::CompareStringOrdinal(expected.c_str(), static_cast<int>(expected.size()), reached.c_str(),
                                  static_cast<int>(reached.size()), TRUE) != CSTR_EQUAL;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A share's list is what its server reports, and the administrators it names are not this machine's.
bool IsOnNetwork(const std::wstring& root) {
    return root.rfind(L"\\\\", 0) == 0 || ::GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
}

bool IsDotOrDotDot(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// How many of the folders below the root exist, from the top.
size_t ExistingCount(const std::wstring& root, const std::vector<std::wstring>& names) {
    std::wstring path = root;
    for (size_t i = 0; i < names.size(); ++i) {
        path = Join(path, names[i]);
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && IsMissing(::GetLastError()))
            return i;
    }
    return names.size();
}

} // namespace

InstallFolderCheck::Descriptor InstallFolderCheck::ReadNamedSecurity(const std::wstring& path, DWORD& error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    error = ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    nullptr, nullptr, &descriptor);
    return Descriptor(error == ERROR_SUCCESS ? descriptor : nullptr);
}

InstallFolderCheck::InstallFolderCheck(const ChangeRights& rights, ReadSecurity read)
    : m_rights(rights), m_read(std::move(read)) {}

CommandResult InstallFolderCheck::Check(const std::wstring& folder, Scope scope) const {
    std::wstring path;
    std::vector<std::wstring> names;
    if (!SplitPath(folder, path, names))
        return {ExitCode::Refused, folder + L": not a full path of a folder on a drive or share"};
    if (IsOnNetwork(path))
        return {ExitCode::Refused,
                folder + L": a network folder, whose access list is what its server reports and whose "
                         L"administrators are not this machine's"};
    // The last folder that exists is judged as the install folder: whoever may add folders there may
    // make the install folder first.
    const size_t existing = ExistingCount(path, names);
    for (size_t i = 0; i <= existing; ++i) {
        if (i > 0)
            path = Join(path, names[i - 1]);
        const auto kind = i == existing ? ChangeRights::Kind::Folder : ChangeRights::Kind::Parent;
        const std::wstring why = WhyUnsafeObject(path, kind);
        if (!why.empty())
            return {ExitCode::Refused, path + L": " + why};
    }
    if (existing < names.size()) {
        const std::vector<std::wstring> missing(names.begin() + static_cast<std::ptrdiff_t>(existing),
                                                names.end());
        const std::wstring why = WhyUnsafeNew(path, missing);
        if (!why.empty())
            return {ExitCode::Refused, path + L": once made there, " + why};
        return {ExitCode::Done,
                path + L": only administrators may change the folders above it, and it once made"};
    }
    if (scope == Scope::Folders)
        return {ExitCode::Done, path + L": only administrators may change it and the folders above it"};
    const std::wstring why = WhyUnsafeContent(path);
    if (!why.empty())
        return {ExitCode::Refused, why};
    return {ExitCode::Done,
            path + L": only administrators may change it, the folders above it and everything in it"};
}

std::wstring InstallFolderCheck::WhyUnsafeObject(const std::wstring& path, ChangeRights::Kind kind) const {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return L"it cannot be read (error " + std::to_wstring(::GetLastError()) + L")";
    if (kind != ChangeRights::Kind::File && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return L"it is a file, not a folder";
    if (IsLink(path, attributes))
        return L"it is a link (a junction, symbolic link or mount point) to another place";
    DWORD error = ERROR_SUCCESS;
    const Descriptor descriptor = m_read(path, error);
    if (!descriptor)
        return L"its access list cannot be read (error " + std::to_wstring(error) + L")";
    return m_rights.WhyUnsafe(descriptor.Get(), kind);
}

// Each new folder starts with what its parent passes on, and the installer, an administrator, owns it.
// Without any such entry it gets the installer's default list, which holds only trusted accounts.
std::wstring InstallFolderCheck::WhyUnsafeNew(std::wstring& path,
                                              const std::vector<std::wstring>& missing) const {
    DWORD error = ERROR_SUCCESS;
    const Descriptor descriptor = m_read(path, error);
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (!descriptor || !::GetSecurityDescriptorDacl(descriptor.Get(), &present, &acl, &defaulted) || !acl)
        return L"what it would inherit cannot be read";
    std::optional<AccessList> list = AccessList::Read(*acl);
    for (size_t i = 0; list && i < missing.size(); ++i) {
        path = Join(path, missing[i]);
        list = list->InheritedByNewFolder();
        const auto kind = i + 1 == missing.size() ? ChangeRights::Kind::Folder : ChangeRights::Kind::Parent;
        const std::wstring why = m_rights.WhyUnsafe(*list, kind);
        if (!why.empty())
            return why;
    }
    return list ? std::wstring() : L"what it would inherit cannot be read";
}

// Every file and folder in it, and in its folders, each by the rules of its kind: the vendor library
// may load any of them, whatever its name.
std::wstring InstallFolderCheck::WhyUnsafeContent(const std::wstring& folder) const {
    WIN32_FIND_DATAW found = {};
    const mirov::UniqueFindHandle find(::FindFirstFileExW(Join(folder, L"*").c_str(), FindExInfoBasic, &found,
                                                          FindExSearchNameMatch, nullptr, 0));
    if (!find && ::GetLastError() == ERROR_FILE_NOT_FOUND) // not even "." and "..": a drive's root
        return std::wstring();
    if (!find)
        return folder + L": what is in it cannot be listed (error " + std::to_wstring(::GetLastError()) +
               L")";
    do {
        if (IsDotOrDotDot(found.cFileName))
            continue;
        const std::wstring path = Join(folder, found.cFileName);
        const bool isFolder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        std::wstring why =
            WhyUnsafeObject(path, isFolder ? ChangeRights::Kind::Folder : ChangeRights::Kind::File);
        if (!why.empty())
            return path + L": " + why;
        // Not a link, so never a way back up.
        why = isFolder ? WhyUnsafeContent(path) : std::wstring();
        if (!why.empty())
            return why;
    } while (::FindNextFileW(find.Get(), &found));
    if (::GetLastError() != ERROR_NO_MORE_FILES)
        return folder + L": what is in it cannot be listed (error " + std::to_wstring(::GetLastError()) +
               L")";
    return std::wstring();
}
