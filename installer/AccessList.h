#pragma once

#include "installer/Sid.h"

#include <windows.h>

#include <optional>
#include <vector>

// An access list as its entries, in order: one entry is added where Windows' own order puts it, or
// taken out, and the whole list is made anew, whatever its length, with every other entry as it was.
class AccessList {
public:
    // What an allow entry grants, of the kinds that hold the rights and the account where a plain one
    // does (plain and callback).
    struct Allowance {
        ACCESS_MASK rights;
        Sid account;
    };

    // Every entry of the list; nothing when the system does not take it for a valid list, or when one
    // of its entries, or an allow entry's account, would reach beyond its end. Never a shorter list.
    static std::optional<AccessList> Read(const ACL& list);

    size_t Size() const { return m_entries.size(); }
    const ACE_HEADER& Entry(size_t index) const;
    // Nothing for an entry of another kind.
    std::optional<Allowance> AllowanceOf(size_t index) const;
    void Remove(size_t index);
    // The same entries in the same order.
    bool operator==(const AccessList& other) const { return m_entries == other.m_entries; }

    // A plain allow entry of the object's own (no inheritance flags) with exactly these rights.
    bool HasExplicitAllow(const Sid& sid, ACCESS_MASK rights) const;
    // After the object's own deny entries and its own allow entries, before the inherited ones; never
    // before a deny entry of its own, even in a list out of that order.
    void AddExplicitAllow(const Sid& sid, ACCESS_MASK rights);
    // The first such entry; false when there is none.
    bool RemoveExplicitAllow(const Sid& sid, ACCESS_MASK rights);

    // The entries a folder made in a folder with this list inherits, as Windows passes them on: those
    // for folders take effect on it (and pass on further unless marked not to), those for files only
    // wait there for its files.
    AccessList InheritedByNewFolder() const;

    // The list to write; empty when it would exceed what an access list can hold (64 KB).
    std::vector<BYTE> Build() const;

private:
    explicit AccessList(BYTE revision);

    size_t FindExplicitAllow(const Sid& sid, ACCESS_MASK rights) const;
    size_t PlaceForExplicitAllow() const;

    BYTE m_revision;
    std::vector<std::vector<BYTE>> m_entries;
};
