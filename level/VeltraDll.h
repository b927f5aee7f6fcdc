#pragma once

#include "level/VeltraImp.h"
#include "mirov/Path.h"

#include <windows.h>

#include <string>

class ThresholdStore;

// The level controller on the vendor library Torvex.dll. Every entry point is called only when it
// was resolved, so an unbound controller (no library found) answers false or 0.
class VeltraDll : public VeltraImp {
public:
    explicit VeltraDll(std::string subFolder = std::string());

    bool Init() override;
    bool IsSupported() override;
    bool CheckOC() override;
    Level GetLevel() override;
    bool SetLevel(Level level) override;
    bool SetLevelByItem(Level level) override;
    bool CheckReboot(int32_t value) override;
    bool IsLulloSupported() override;
    bool IsFanControlSupported() override;
    bool IsVexaSupported() override;
    bool IsVexaTwoSupported() override;
    bool IsVexaThreeSupported() override;
    bool IsPindleSupported() override;
    bool IsNitrelSupported() override;
    bool IsThermostatSupported() override;
    bool IsSupportedTwo() override;
    bool IsSupportedThree() override;
    bool IsSupportedThreeEx() override;
    bool IsCapabilityEight() override;
    bool IsWhirroThreeSupported() override;
    uint32_t ButtonEnable() override;
    bool GetItem(ItemId item, ItemValue& value) override;
    bool SetItem(ItemId item, ItemValue value) override;
    bool IsItemSupported(ItemId item) override;
    uint32_t SetItemEx(uint32_t a, uint32_t b, uint32_t c) override;
    void SetThreshold(ItemValue t1, ItemValue t2, ItemValue t3) override;
    uint32_t GetStringList(uint32_t a, uint32_t b, uint32_t c, uint32_t d) override;
    uint32_t GetItemDefaultValue(uint32_t a, uint32_t b) override;
    bool GetItemInformation(uint32_t a, uint32_t b) override;

    // Full path of the vendor library; derived classes may move it.
    virtual std::string GetDllPath();

private:
    // The library's yes/no results are one byte; any non-zero byte is yes.
    using TorvexBool = unsigned char;
    using BoolFn = TorvexBool(WINAPI*)();
    using OutFn = TorvexBool(WINAPI*)(uint32_t* out);
    using LevelFn = TorvexBool(WINAPI*)(Level level);
    using CheckRebootFn = TorvexBool(WINAPI*)(int32_t value, uint32_t* out);
    using WordFn = uint32_t(WINAPI*)();
    using GetItemFn = TorvexBool(WINAPI*)(ItemId item, ItemValue* value);
    using SetItemFn = TorvexBool(WINAPI*)(ItemId item, ItemValue value);
    using SetItemExFn = uint32_t(WINAPI*)(uint32_t a, uint32_t b, uint32_t c);
    using ItemFn = TorvexBool(WINAPI*)(ItemId item);
    using StringListFn = uint32_t(WINAPI*)(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
    using TwoWordFn = uint32_t(WINAPI*)(uint32_t a, uint32_t b);
    using InformationFn = TorvexBool(WINAPI*)(uint32_t a, uint32_t b);

    void ResolveEntryPoints();
    SupportState ClassifySupport();
    // The path the library is found and loaded by: exact, whatever the folder's name.
    mirov::WideString ExactDllPath() const;
    mirov::WideString LibraryPath();

    // The steps around a level switch; they act only in support states 3 and 4.
    void ApplyLevelPreStep(Level level);
    void ApplyLevelPostStep(Level level);
    // Whether the library has all six threshold items; asks afresh and stops at the first it lacks.
    bool IsSixThresholdSupported();
    // Whether the library wants the held thresholds used once only: its reset item reads 1.
    bool IsResetItemSet();
    // The process-wide threshold store, created on first use and sized by what the library has then.
    ThresholdStore& Thresholds();
    // Whether the profile feature is on; a failed read is shown and counts as off.
    bool IsTorvexOpen();
    void EnableTorvex(bool on);
    // Writes threshold items 1..count; each failure is shown and the rest are still written.
    void SetThresholdItems(const ItemValue* values, unsigned count);

    HMODULE m_hModule = nullptr; // never freed: the library stays loaded until the process ends
    BoolFn m_pTorvexInit = nullptr;
    OutFn m_pTorvexIsSupport = nullptr;
    OutFn m_pTorvexCheckOc = nullptr;
    OutFn m_pGetVeltraLevel = nullptr;
    LevelFn m_pSetVeltraLevel = nullptr;
    CheckRebootFn m_pTorvexCheckReboot = nullptr;
    BoolFn m_pIsLulloSupported = nullptr;
    BoolFn m_pIsFanControlSupported = nullptr;
    BoolFn m_pIsVexaSupported = nullptr;
    BoolFn m_pIsVexaTwoSupported = nullptr;
    BoolFn m_pIsVexaThreeSupported = nullptr;
    BoolFn m_pIsPindleSupported = nullptr;
    BoolFn m_pIsNitrelSupported = nullptr;
    BoolFn m_pIsThermostatSupported = nullptr;
    BoolFn m_pIsTorvexTwoSupported = nullptr;
    BoolFn m_pIsWhirroThreeSupported = nullptr;
    WordFn m_pTorvexButtonEnable = nullptr;
    GetItemFn m_pGetItem = nullptr;
    SetItemFn m_pSetItem = nullptr;
    SetItemExFn m_pSetItemEx = nullptr;
    ItemFn m_pIsItmeSupport = nullptr;
    StringListFn m_pGetStringList = nullptr;
    TwoWordFn m_pGetItemDefaultValue = nullptr;
    InformationFn m_pGetNumberItemInformation = nullptr;
    std::string m_subFolder;
    SupportState m_supportState = kNotSupported;
};
