#include "tools/common/ProcessFigures.h"

#include "mirov/Handles.h"
#include "mirov/Lookup.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <cstddef>
#include <vector>

namespace {

// The system handle table (SystemExtendedHandleInformation), declared here: the SDK headers do not.
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr size_t kMaxHandleTableBytes = 64u << 20;

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
};

struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry handles[1];
};

using QuerySystemInformationFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

ULONGLONG Units(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

QuerySystemInformationFn QuerySystemInformation() {
    return mirov::Lookup<QuerySystemInformationFn>(::GetModuleHandleA("ntdll.dll"),
                                                   "NtQuerySystemInformation");
}

// Counts the entries of the system handle table that belong to the process; false when the table
// cannot be read.
bool CountHandlesInSystemTable(DWORD pid, DWORD& count) {
    const QuerySystemInformationFn query = QuerySystemInformation();
    if (!query)
        return false;
    std::vector<unsigned char> buffer(1 << 16);
    LONG status = 0;
    ULONG length = 0;
    while ((status = query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                           &length)) == kStatusInfoLengthMismatch &&
           buffer.size() < kMaxHandleTableBytes)
        buffer.resize(buffer.size() * 2);
    if (status < 0 || buffer.size() < offsetof(HandleTable, handles))
        return false;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const size_t room = (buffer.size() - offsetof(HandleTable, handles)) / sizeof(HandleEntry);
    if (table->count > room)
        return false; // an answer that does not fit its own buffer is not to be trusted
    count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
        if (table->handles[i].processId == pid)
            ++count;
    }
    return true;
}

bool ReadMemory(HANDLE process, ProcessFigures& figures) {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof counters))
        return false;
    figures.workingSet = counters.WorkingSetSize;
    // Windows reports both; Wine fills only PagefileUsage for another process.
    figures.privateFromPagefile = counters.PrivateUsage == 0;
    figures.privateBytes = figures.privateFromPagefile ? counters.PagefileUsage : counters.PrivateUsage;
    return true;
}

bool ReadHandles(HANDLE process, DWORD pid, ProcessFigures& figures) {
    DWORD count = 0;
    // A live process always holds handles, so 0 means "not told" (Wine), not "none".
    if (::GetProcessHandleCount(process, &count) && count > 0) {
        figures.handles = count;
        return true;
    }
    figures.handlesFromSystemTable = true;
    return CountHandlesInSystemTable(pid, figures.handles);
}

bool ReadProcessCpu(HANDLE process, ProcessFigures& figures) {
    FILETIME created, ended, kernel, user;
    if (!::GetProcessTimes(process, &created, &ended, &kernel, &user))
        return false;
    figures.processCpu = Units(kernel) + Units(user);
    return true;
}

bool ReadThreads(DWORD pid, ProcessFigures& figures) {
    mirov::UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return false;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    figures.threads = 0;
    figures.threadCpu = 0;
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more;
         more = ::Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID != pid)
            continue;
        ++figures.threads;
        mirov::UniqueHandle thread(::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID));
        FILETIME created, ended, kernel, user;
        if (thread && ::GetThreadTimes(thread.Get(), &created, &ended, &kernel, &user))
            figures.threadCpu += Units(kernel) + Units(user);
    }
    return figures.threads > 0;
}

} // namespace

bool ReadProcessFigures(HANDLE process, DWORD pid, ProcessFigures& figures) {
    figures = ProcessFigures();
    return ReadMemory(process, figures) && ReadHandles(process, pid, figures) &&
           ReadProcessCpu(process, figures) && ReadThreads(pid, figures);
}
