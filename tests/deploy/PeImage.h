#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the deployment checks read from a PE file: its machine, kind, subsystem, the DLLs it imports
// and the names it exports. Every offset taken from the file is checked against the file's size, so a
// damaged or foreign file gives an error, never a read out of bounds.
class PeImage {
public:
    // False, with Error() telling why, when the file cannot be read or is no PE image.
    bool Load(const std::string& path);
    bool Parse(std::vector<unsigned char> bytes);
    const std::string& Error() const { return m_error; }

    WORD Machine() const { return m_machine; }
    bool IsDll() const { return (m_characteristics & IMAGE_FILE_DLL) != 0; }
    WORD Subsystem() const { return m_subsystem; }
    const std::vector<std::string>& Imports() const { return m_imports; } // DLL names as written
    const std::vector<std::string>& DelayLoadImports() const { return m_delayImports; }
    const std::vector<std::string>& Exports() const { return m_exports; } // in the table's order
    // Whether the text stands anywhere in the file as a string of its own, zero bytes on both sides.
    bool ContainsString(const std::string& text) const;

private:
    struct Directory {
        DWORD rva = 0;
        DWORD size = 0;
    };

    template <typename T> bool ReadAt(size_t offset, T& value) const;
    bool RvaToOffset(DWORD rva, size_t& offset) const;
    bool StringAt(DWORD rva, std::string& text) const;
    bool Fail(const std::string& error);
    bool ParseHeaders();
    bool ParseOptionalHeader(size_t offset, WORD size);
    bool ParseImports(const Directory& directory);
    bool ParseDelayLoadImports(const Directory& directory);
    bool ParseExports(const Directory& directory);

    std::vector<unsigned char> m_bytes;
    std::string m_error;
    WORD m_machine = 0;
    WORD m_characteristics = 0;
    WORD m_subsystem = 0;
    std::vector<IMAGE_SECTION_HEADER> m_sections;
    std::vector<Directory> m_directories;
    std::vector<std::string> m_imports;
    std::vector<std::string> m_delayImports;
    std::vector<std::string> m_exports;
};
