#include "tests/support/ImportHook.h"

#include <cstring>

namespace {

template <class T> T* At(BYTE* base, ULONG_PTR offset) {
    return reinterpret_cast<T*>(base + offset);
}

bool NameIs(BYTE* base, const IMAGE_THUNK_DATA& name, const char* function) {
    if (IMAGE_SNAP_BY_ORDINAL(name.u1.Ordinal))
        return false;
    return std::strcmp(At<IMAGE_IMPORT_BY_NAME>(base, name.u1.AddressOfData)->Name, function) == 0;
}

ULONG_PTR* FindSlot(const char* dll, const char* function) {
    BYTE* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    const auto* nt = At<IMAGE_NT_HEADERS>(base, At<IMAGE_DOS_HEADER>(base, 0)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module = At<IMAGE_IMPORT_DESCRIPTOR>(base, imports.VirtualAddress); module->Name; ++module) {
        if (_stricmp(At<char>(base, module->Name), dll) != 0 || module->OriginalFirstThunk == 0)
            continue;
        auto* name = At<IMAGE_THUNK_DATA>(base, module->OriginalFirstThunk);
        auto* slot = At<IMAGE_THUNK_DATA>(base, module->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot) {
            if (NameIs(base, *name, function))
                return reinterpret_cast<ULONG_PTR*>(&slot->u1.Function);
        }
    }
    return nullptr;
}

ULONG_PTR Swap(ULONG_PTR* slot, ULONG_PTR value) {
    DWORD protection = 0;
    if (!::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection))
        return 0;
    const ULONG_PTR old = reinterpret_cast<ULONG_PTR>(::InterlockedExchangePointer(
        reinterpret_cast<void* volatile*>(slot), reinterpret_cast<void*>(value)));
    ::VirtualProtect(slot, sizeof *slot, protection, &protection);
    return old;
}

} // namespace

ImportHook::ImportHook(const char* dll, const char* function, ULONG_PTR replacement) {
    ULONG_PTR* slot = FindSlot(dll, function);
    if (!slot)
        return;
    m_original = Swap(slot, replacement);
    if (m_original)
        m_slot = slot;
}

ImportHook::~ImportHook() {
    if (m_slot)
        Swap(m_slot, m_original);
}
