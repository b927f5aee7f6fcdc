#pragma once

#include <windows.h>

#include <vector>

// An access list as its entries, in order: one entry is added where Windows' own order puts it, or
// taken out, and the whole list is made anew, whatever its length, with every other entry as it was.
class AccessList {
public:
    explicit AccessList(const ACL& list);

    // A plain allow entry of the object's own (no inheritance flags) with exactly these rights.
    bool HasExplicitAllow(PSID sid, ACCESS_MASK rights) const;
    // After the object's own deny entries and its own allow entries, before the inherited ones; never
    // before a deny entry of its own, even in a list out of that order.
    void AddExplicitAllow(PSID sid, ACCESS_MASK rights);
    // The first such entry; false when there is none.
    bool RemoveExplicitAllow(PSID sid, ACCESS_MASK rights);

    // The list to write; empty when it would exceed what an access list can hold (64 KB).
    std::vector<BYTE> Build() const;

private:
    size_t FindExplicitAllow(PSID sid, ACCESS_MASK rights) const;
    size_t PlaceForExplicitAllow() const;

    BYTE m_revision;
    std::vector<std::vector<BYTE>> m_entries;
};
