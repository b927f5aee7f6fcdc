#pragma once

#include "mirov/Handles.h"

#include <windows.h>

#include <optional>
#include <string>

// A key under HKEY_LOCAL_MACHINE for one test or benchmark: removed with everything in it when the test
// starts and again when it ends, together with the parents it leaves empty.
class ScratchKey {
public:
    explicit ScratchKey(std::string path);
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    const std::string& Path() const { return m_path; }
    bool Exists() const;

    void SetRaw(const char* name, DWORD type, const std::string& bytes) const;
    void SetDword(const char* name, DWORD value) const;
    void SetString(const char* name, const std::string& text) const;
    void CreateSubKey(const char* name) const;
    void Delete(const char* name) const;

    bool Has(const char* name) const;
    // The value when it is a four-byte REG_DWORD; nothing otherwise.
    std::optional<DWORD> Dword(const char* name) const;
    DWORD Type(const char* name) const; // REG_NONE when missing

    void Remove() const;

private:
    std::string m_path;
};

// Everyone is denied setting values on a key while this lives. A handle opened beforehand is kept
// to put the permissive ACL back, since the denial would refuse a new one.
class DenySetValue {
public:
    explicit DenySetValue(const ScratchKey& key);
    ~DenySetValue();
    DenySetValue(const DenySetValue&) = delete;
    DenySetValue& operator=(const DenySetValue&) = delete;

    bool Applied() const { return m_applied; }

private:
    mirov::UniqueHkey m_key;
    bool m_applied = false;
};

// The test's own key under HKLM\Software\TorvexTests (TestName.cpp: test programs only).
std::string TestKeyPath();
