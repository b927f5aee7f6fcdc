#pragma once

#include "mirov/Handles.h"

#include <windows.h>

#include <string>

// The owner and access list of a key of HKLM, as SDDL text, read and set through a handle kept open
// from the start, since the lists set here may refuse a new handle. The first owner and list come
// back at the end.
class KeyAccessList {
public:
    KeyAccessList(const char* path, REGSAM view);
    ~KeyAccessList();
    KeyAccessList(const KeyAccessList&) = delete;
    KeyAccessList& operator=(const KeyAccessList&) = delete;

    std::string Get() const;   // the list alone, "D:..."
    std::string Owner() const; // "O:..."
    // Sets what the text holds: "D:..." the list, "O:..." the owner, or both.
    bool Set(const std::string& text) const;
    // Takes the list away (anyone may then do anything with the key); true once it reads back so. Written
    // alone: under Wine, "D:NO_ACCESS_CONTROL" set along with the owner reads back as an empty list.
    bool SetNoList() const;

private:
    mirov::UniqueHkey m_key;
    std::string m_original;
};

// SDDL text as Wine writes it back, so that lists built by a test compare with lists read.
std::string Normalized(const std::string& list);
