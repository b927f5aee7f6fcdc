#include "installer/PeMachine.h"

#include "mirov/Handles.h"

#include <windows.h>

#include <cstdio>
#include <utility>

namespace {

// What follows the offset the DOS header gives: "PE\0\0", then the file header.
struct PeHeaders {
    DWORD signature;
    IMAGE_FILE_HEADER file;
};
static_assert(sizeof(PeHeaders) == 24, "the headers as they lie in the file");

// Reads exactly size bytes at offset.
bool ReadAt(HANDLE file, LONGLONG offset, void* bytes, DWORD size) {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    DWORD read = 0;
    return ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
           ::ReadFile(file, bytes, size, &read, nullptr) && read == size;
}

std::wstring Hex(WORD value) {
    wchar_t text[8];
    std::swprintf(text, 8, L"0x%04X", value);
    return text;
}

} // namespace

PeMachine::PeMachine(std::wstring path) : m_path(std::move(path)) {}

CommandResult PeMachine::Read() const {
    // Read as data only: nothing of it is loaded. Shared, since a running program may hold it.
    const mirov::UniqueFileHandle file(::CreateFileW(m_path.c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD openError = ::GetLastError();
    if (!file && (openError == ERROR_FILE_NOT_FOUND || openError == ERROR_PATH_NOT_FOUND))
        return {ExitCode::Unchanged, L"none"};
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.Get(), &size))
        return CannotRead();
    IMAGE_DOS_HEADER dos;
    if (size.QuadPart < LONGLONG{sizeof dos})
        return NotPe();
    if (!ReadAt(file.Get(), 0, &dos, sizeof dos))
        return CannotRead();
    // e_lfanew is the file's word: the headers it points at must lie whole inside the file.
    const LONGLONG offset = static_cast<DWORD>(dos.e_lfanew);
    PeHeaders pe;
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || offset + LONGLONG{sizeof pe} > size.QuadPart)
        return NotPe();
    if (!ReadAt(file.Get(), offset, &pe, sizeof pe))
        return CannotRead();
    if (pe.signature != IMAGE_NT_SIGNATURE)
        return NotPe();
    if (pe.file.Machine == IMAGE_FILE_MACHINE_AMD64)
        return {ExitCode::Done, L"x64"};
    if (pe.file.Machine == IMAGE_FILE_MACHINE_I386)
        return {ExitCode::Done, L"x86"};
    return {ExitCode::Refused, m_path + L": built for another machine (" + Hex(pe.file.Machine) + L")"};
}

CommandResult PeMachine::NotPe() const {
    return {ExitCode::Refused, m_path + L": not a Windows program or library (no PE header)"};
}

CommandResult PeMachine::CannotRead() const {
    return {ExitCode::Failed, m_path + L" cannot be read: error " + std::to_wstring(::GetLastError())};
}
