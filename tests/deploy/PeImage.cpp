#include "PeImage.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// Bounds on counts read from the file, far above any real image, so that a damaged count cannot
// make a loop run for long.
constexpr size_t kMaxSections = 96;
constexpr size_t kMaxDescriptors = 4096;
constexpr size_t kMaxNames = 65536;
constexpr size_t kMaxNameLength = 4096;

// The delay-load descriptor, declared here: older SDK headers lack it.
struct DelayLoadDescriptor {
    DWORD attributes;
    DWORD dllNameRva;
    DWORD moduleHandleRva;
    DWORD importAddressTableRva;
    DWORD importNameTableRva;
    DWORD boundImportAddressTableRva;
    DWORD unloadInformationTableRva;
    DWORD timeDateStamp;
};

template <typename T> bool IsZero(const T& value) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    for (size_t i = 0; i < sizeof value; ++i) {
        if (bytes[i])
            return false;
    }
    return true;
}

} // namespace

bool PeImage::Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return Fail("cannot open " + path);
    return Parse(std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {}));
}

bool PeImage::Parse(std::vector<unsigned char> bytes) {
    *this = PeImage();
    m_bytes = std::move(bytes);
    if (!ParseHeaders())
        return false;
    return ParseImports(m_directories[IMAGE_DIRECTORY_ENTRY_IMPORT]) &&
           ParseDelayLoadImports(m_directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT]) &&
           ParseExports(m_directories[IMAGE_DIRECTORY_ENTRY_EXPORT]);
}

bool PeImage::Fail(const std::string& error) {
    m_error = error;
    return false;
}

template <typename T> bool PeImage::ReadAt(size_t offset, T& value) const {
    if (offset > m_bytes.size() || sizeof(T) > m_bytes.size() - offset)
        return false;
    std::memcpy(&value, m_bytes.data() + offset, sizeof(T));
    return true;
}

bool PeImage::RvaToOffset(DWORD rva, size_t& offset) const {
    for (const IMAGE_SECTION_HEADER& section : m_sections) {
        const DWORD start = section.VirtualAddress;
        const DWORD length = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
        if (rva >= start && rva - start < length && rva - start < section.SizeOfRawData) {
            offset = static_cast<size_t>(section.PointerToRawData) + (rva - start);
            return offset < m_bytes.size();
        }
    }
    return false;
}

bool PeImage::StringAt(DWORD rva, std::string& text) const {
    size_t offset = 0;
    if (!RvaToOffset(rva, offset))
        return false;
    const size_t limit = std::min(m_bytes.size(), offset + kMaxNameLength);
    const auto* begin = m_bytes.data() + offset;
    const auto* end = static_cast<const unsigned char*>(std::memchr(begin, 0, limit - offset));
    if (!end)
        return false;
    text.assign(reinterpret_cast<const char*>(begin), reinterpret_cast<const char*>(end));
    return true;
}

bool PeImage::ParseHeaders() {
    IMAGE_DOS_HEADER dos;
    if (!ReadAt(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
        return Fail("no MZ header");
    const size_t ntOffset = static_cast<size_t>(static_cast<DWORD>(dos.e_lfanew));
    DWORD signature = 0;
    IMAGE_FILE_HEADER file;
    if (!ReadAt(ntOffset, signature) || signature != IMAGE_NT_SIGNATURE ||
        !ReadAt(ntOffset + sizeof signature, file))
        return Fail("no PE header");
    m_machine = file.Machine;
    m_characteristics = file.Characteristics;
    const size_t optionalOffset = ntOffset + sizeof signature + sizeof file;
    if (!ParseOptionalHeader(optionalOffset, file.SizeOfOptionalHeader))
        return false;
    if (file.NumberOfSections > kMaxSections)
        return Fail("too many sections");
    const size_t sectionOffset = optionalOffset + file.SizeOfOptionalHeader;
    m_sections.resize(file.NumberOfSections);
    for (size_t i = 0; i < m_sections.size(); ++i) {
        if (!ReadAt(sectionOffset + i * sizeof(IMAGE_SECTION_HEADER), m_sections[i]))
            return Fail("section table past the end of the file");
    }
    return true;
}

bool PeImage::ParseOptionalHeader(size_t offset, WORD size) {
    WORD magic = 0;
    if (!ReadAt(offset, magic))
        return Fail("no optional header");
    DWORD count = 0;
    size_t directoryOffset = 0;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        IMAGE_OPTIONAL_HEADER32 header;
        if (size < sizeof header || !ReadAt(offset, header))
            return Fail("short optional header");
        m_subsystem = header.Subsystem;
        count = header.NumberOfRvaAndSizes;
        directoryOffset = offset + offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        IMAGE_OPTIONAL_HEADER64 header;
        if (size < sizeof header || !ReadAt(offset, header))
            return Fail("short optional header");
        m_subsystem = header.Subsystem;
        count = header.NumberOfRvaAndSizes;
        directoryOffset = offset + offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
    } else {
        return Fail("unknown optional header");
    }
    // Directories the image does not list are empty.
    m_directories.assign(IMAGE_NUMBEROF_DIRECTORY_ENTRIES, Directory());
    for (DWORD i = 0; i < count && i < IMAGE_NUMBEROF_DIRECTORY_ENTRIES; ++i) {
        IMAGE_DATA_DIRECTORY entry;
        if (!ReadAt(directoryOffset + i * sizeof entry, entry))
            return Fail("data directories past the end of the file");
        m_directories[i] = {entry.VirtualAddress, entry.Size};
    }
    return true;
}

bool PeImage::ParseImports(const Directory& directory) {
    if (directory.rva == 0)
        return true;
    size_t offset = 0;
    if (!RvaToOffset(directory.rva, offset))
        return Fail("import table outside the sections");
    for (size_t i = 0; i < kMaxDescriptors; ++i) {
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        if (!ReadAt(offset + i * sizeof descriptor, descriptor))
            return Fail("import table past the end of the file");
        if (IsZero(descriptor))
            return true;
        std::string name;
        if (!StringAt(descriptor.Name, name))
            return Fail("import name outside the file");
        m_imports.push_back(name);
    }
    return Fail("import table without its end");
}

bool PeImage::ParseDelayLoadImports(const Directory& directory) {
    if (directory.rva == 0)
        return true;
    size_t offset = 0;
    if (!RvaToOffset(directory.rva, offset))
        return Fail("delay-load table outside the sections");
    for (size_t i = 0; i < kMaxDescriptors; ++i) {
        DelayLoadDescriptor descriptor;
        if (!ReadAt(offset + i * sizeof descriptor, descriptor))
            return Fail("delay-load table past the end of the file");
        if (IsZero(descriptor))
            return true;
        std::string name;
        if (!StringAt(descriptor.dllNameRva, name))
            return Fail("delay-load name outside the file");
        m_delayImports.push_back(name);
    }
    return Fail("delay-load table without its end");
}

bool PeImage::ParseExports(const Directory& directory) {
    if (directory.rva == 0)
        return true;
    size_t offset = 0;
    IMAGE_EXPORT_DIRECTORY exports;
    if (!RvaToOffset(directory.rva, offset) || !ReadAt(offset, exports))
        return Fail("export directory outside the file");
    if (exports.NumberOfNames > kMaxNames)
        return Fail("too many export names");
    size_t names = 0;
    if (exports.NumberOfNames > 0 && !RvaToOffset(exports.AddressOfNames, names))
        return Fail("export name table outside the sections");
    for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
        DWORD nameRva = 0;
        std::string name;
        if (!ReadAt(names + i * sizeof nameRva, nameRva) || !StringAt(nameRva, name))
            return Fail("export name outside the file");
        m_exports.push_back(name);
    }
    return true;
}

bool PeImage::ContainsString(const std::string& text) const {
    std::string needle(1, '\0');
    needle += text;
    needle += '\0';
    return std::search(m_bytes.begin(), m_bytes.end(), needle.begin(), needle.end()) != m_bytes.end();
}
