#include "level/VeltraDll.h"

#include "mirov/Check.h"
#include "mirov/DllSearch.h"
#include "mirov/Handles.h"
#include "mirov/Lookup.h"
#include "mirov/Path.h"
#include "mirov/RegAccessor.h"
#include "settings/KeyRights.h"
#include "settings/ThresholdStore.h"
#include "sysctrl/SysCtrlPipeClient.h"

#include <cstdio>

namespace {

constexpr char kLoadErrorCaption[] = "LoadLibrary Error";
// The thresholds' key (contract::kThresholdKey, "TORVEX3") as the controller has always spelt it: one
// key, since key names ignore case; the spelling is the controller's own and stays here.
constexpr char kLastModeKey[] = "Software\\Orvane\\Torvex3";
constexpr unsigned kSixThresholds = 6;
constexpr unsigned kThreeThresholds = 3;
constexpr UINT kExitLoadFailed = 1;

// Calls an entry point only when it was resolved; an unresolved one answers as a failure would.
template <typename Fn, typename... Args> auto CallIfBound(Fn fn, Args... args) -> decltype(fn(args...)) {
    using Result = decltype(fn(args...));
    return fn ? fn(args...) : Result();
}

template <typename Fn> void Resolve(HMODULE module, const char* name, Fn& field) {
    field = mirov::Lookup<Fn>(module, name);
}

bool FileExists(const mirov::WideString& path) {
    WIN32_FIND_DATAW data;
    mirov::UniqueFindHandle find(::FindFirstFileW(path.c_str(), &data));
    return find && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Wide, so that the box names the real folder where the ANSI code page cannot show it.
void ShowLoadError(const mirov::WideString& text) {
    ::MessageBoxW(nullptr, text.c_str(), mirov::WidenAnsi(kLoadErrorCaption).c_str(), MB_OK);
}

void ShowItemFailure(const char* text) {
    ::MessageBoxA(nullptr, text, "", MB_OK);
}

// Registry failures are silent: without the record the switch itself still stands, also where the
// user may read the key but not change it.
void RecordLastMode(Level level) {
    mirov::RegAccessor key;
    if (key.Open(HKEY_LOCAL_MACHINE, kLastModeKey, true, kKeySetValueRights))
        key.WriteDword("LastMode", level);
}

} // namespace

VeltraDll::VeltraDll(std::string subFolder) : m_subFolder(std::move(subFolder)) {}

std::string VeltraDll::GetDllPath() {
    // In the ANSI code page, or empty where that code page cannot show the path exactly: a narrow
    // look-alike ("best fit") would name another file.
    return mirov::NarrowAnsiExact(ExactDllPath());
}

mirov::WideString VeltraDll::ExactDllPath() const {
    mirov::WideString path = mirov::ExtractDirectory(mirov::GetExeFileNameW());
    if (!m_subFolder.empty())
        path += mirov::WidenAnsi(m_subFolder) + L"\\";
    return path + L"Torvex.dll";
}

mirov::WideString VeltraDll::LibraryPath() {
    const std::string path = GetDllPath();
    // Odd on purpose: empty means the ANSI code page cannot show the library's own path, so the
    // exact one is used; any other text is the path itself, also where a derived class moved it.
    return path.empty() ? ExactDllPath() : mirov::WidenAnsi(path);
}

bool VeltraDll::Init() {
    const mirov::WideString path = LibraryPath();
    if (!FileExists(path)) {
        ShowLoadError(L"Can not find " + path);
        return false;
    }
    m_hModule = mirov::LoadLibraryFromItsFolder(path);
    if (!m_hModule) {
        ShowLoadError(L"Can not load " + path + L". Program will abort");
        ::ExitProcess(kExitLoadFailed);
    }
    ResolveEntryPoints();
    const bool initialised = CallIfBound(m_pTorvexInit) != 0;
    m_supportState = ClassifySupport();
    return initialised;
}

void VeltraDll::ResolveEntryPoints() {
    Resolve(m_hModule, "TorvexInit", m_pTorvexInit);
    Resolve(m_hModule, "TorvexGetLevel", m_pGetVeltraLevel);
    Resolve(m_hModule, "TorvexSetLevel", m_pSetVeltraLevel);
    Resolve(m_hModule, "TorvexIsSupport", m_pTorvexIsSupport);
    Resolve(m_hModule, "TorvexCheckOC", m_pTorvexCheckOc);
    Resolve(m_hModule, "TorvexCheckReboot", m_pTorvexCheckReboot);
    Resolve(m_hModule, "IsLulloSupported", m_pIsLulloSupported);
    Resolve(m_hModule, "IsFanControlSupported", m_pIsFanControlSupported);
    Resolve(m_hModule, "IsVexaSupported", m_pIsVexaSupported);
    Resolve(m_hModule, "IsVexaTwoSupported", m_pIsVexaTwoSupported);
    Resolve(m_hModule, "IsVexaThreeSupported", m_pIsVexaThreeSupported);
    Resolve(m_hModule, "IsPindleSupported", m_pIsPindleSupported);
    Resolve(m_hModule, "IsNitrelSupported", m_pIsNitrelSupported);
    Resolve(m_hModule, "IsThermostatSupported", m_pIsThermostatSupported);
    Resolve(m_hModule, "IsTorvexTwoSupported", m_pIsTorvexTwoSupported);
    Resolve(m_hModule, "TorvexButtonEnable", m_pTorvexButtonEnable);
    Resolve(m_hModule, "TorvexGetItem", m_pGetItem);
    Resolve(m_hModule, "TorvexSetItem", m_pSetItem);
    Resolve(m_hModule, "SetItemEx", m_pSetItemEx);
    Resolve(m_hModule, "IsItemSupported", m_pIsItmeSupport);
    Resolve(m_hModule, "GetStringList", m_pGetStringList);
    Resolve(m_hModule, "GetItemDefaultValue", m_pGetItemDefaultValue);
    Resolve(m_hModule, "IsWhirroThreeSupported", m_pIsWhirroThreeSupported);
    Resolve(m_hModule, "GetItemInformation", m_pGetNumberItemInformation);
    // The check's text is shown to the user and must stay verbatim, the misspelt name and the missing
    // blank before "!=" included.
    // clang-format off
    MIROV_CHECK(m_pTorvexInit != NULL && m_pGetVeltraLevel != NULL && m_pSetVeltraLevel != NULL && m_pTorvexIsSupport != NULL && m_pTorvexCheckOc != NULL && m_pTorvexCheckReboot != NULL && m_pIsLulloSupported != NULL && m_pIsFanControlSupported != NULL && m_pIsVexaSupported != NULL && m_pIsVexaTwoSupported != NULL && m_pIsVexaThreeSupported != NULL && m_pIsPindleSupported != NULL && m_pIsNitrelSupported != NULL && m_pIsThermostatSupported != NULL && m_pIsTorvexTwoSupported != NULL && m_pTorvexButtonEnable != NULL && m_pGetItem != NULL && m_pSetItem != NULL && m_pSetItemEx != NULL && m_pIsItmeSupport!= NULL && m_pGetStringList != NULL && m_pGetItemDefaultValue != NULL && m_pIsWhirroThreeSupported != NULL && m_pGetNumberItemInformation != NULL);
    // clang-format on
}

SupportState VeltraDll::ClassifySupport() {
    uint32_t reported = 0;
    if (!CallIfBound(m_pTorvexIsSupport, &reported) || reported != 1)
        return kNotSupported;
    if (!CallIfBound(m_pIsItmeSupport, kItemCapability))
        return kSupportedBasic;
    ItemValue capability = 0;
    if (!GetItem(kItemCapability, capability))
        return kSupportedBasic;
    if (capability & (4 | 8))
        return kSupportedThreeEx;
    if (capability >= 2)
        return kSupportedThree;
    return capability == 1 ? kSupportedTwo : kSupportedBasic;
}

bool VeltraDll::IsSupported() {
    return m_supportState != kNotSupported;
}

bool VeltraDll::CheckOC() {
    uint32_t state = 0;
    // The library's yes settles it; anything else (an unbound library too) goes to the service.
    if (CallIfBound(m_pTorvexCheckOc, &state) && state == 1)
        return true;
    int32_t first = 0;
    int32_t second = 0;
    if (!SysCtrlPipeClient::Instance()->QueryOcState(first, second))
        return false;
    // The service's OC state runs the other way round: 1 and 2 mean no.
    return first != 1 && first != 2;
}

Level VeltraDll::GetLevel() {
    MIROV_CHECK(IsSupported());
    Level level = 0;
    return CallIfBound(m_pGetVeltraLevel, &level) ? level : 0;
}

bool VeltraDll::SetLevel(Level level) {
    ApplyLevelPreStep(level);
    const bool switched = CallIfBound(m_pSetVeltraLevel, level) != 0;
    ApplyLevelPostStep(level); // also after a failed switch
    if (IsSupportedThree())
        RecordLastMode(level);
    return switched;
}

bool VeltraDll::SetLevelByItem(Level level) {
    ApplyLevelPreStep(level);
    const bool switched = CallIfBound(m_pSetItem, kItemLevel, level) != 0;
    ApplyLevelPostStep(level);
    return switched;
}

void VeltraDll::ApplyLevelPreStep(Level level) {
    if (!IsSupportedThree())
        return;
    if (!IsTorvexOpen())
        EnableTorvex(true);
    // With six threshold items the values go in before the switch, as held since the store's creation.
    if (level == kUserLevel && IsSixThresholdSupported()) {
        ItemValue values[kSixThresholds] = {};
        // A store sized to three before the library reported six items leaves the other three as the
        // vendor set them.
        const size_t held = Thresholds().CopyThresholds(values, kSixThresholds);
        SetThresholdItems(values, static_cast<unsigned>(held));
    }
}

void VeltraDll::ApplyLevelPostStep(Level level) {
    if (!IsSupportedThree())
        return;
    if (level == 0) {
        // State 4 keeps the feature on at level 0.
        if (IsTorvexOpen() && !IsSupportedThreeEx())
            EnableTorvex(false);
        return;
    }
    // With three threshold items the values go in after the switch, freshly read each time.
    if (level == kUserLevel && !IsSixThresholdSupported()) {
        ItemValue t1 = 0, t2 = 0, t3 = 0;
        Thresholds().GetThresholds(t1, t2, t3, [this] { return IsResetItemSet(); });
        SetThreshold(t1, t2, t3);
    }
}

bool VeltraDll::IsSixThresholdSupported() {
    for (ItemId item = kItemThreshold1 + 3; item <= kItemThreshold1 + 5; ++item) {
        if (!IsItemSupported(item))
            return false;
    }
    return true;
}

bool VeltraDll::IsResetItemSet() {
    ItemValue value = 0;
    return GetItem(kItemReset, value) && value == 1;
}

ThresholdStore& VeltraDll::Thresholds() {
    // Both questions are asked of this controller only if the store is created now; the store keeps
    // neither, so a later controller in the same process is asked itself.
    return ThresholdStore::Instance(
        [this] { return IsSixThresholdSupported() ? kSixThresholds : kThreeThresholds; },
        [this] { return IsResetItemSet(); });
}

bool VeltraDll::IsTorvexOpen() {
    ItemValue value = 0;
    if (!GetItem(kItemFeatureSwitch, value)) {
        ShowItemFailure("[VeltraDll::IsTorvexOpen] Failed");
        return false;
    }
    return value == 1;
}

void VeltraDll::EnableTorvex(bool on) {
    if (!SetItem(kItemFeatureSwitch, on ? 1 : 0))
        ShowItemFailure("[VeltraDll::EnableTorvex] Failed");
}

void VeltraDll::SetThresholdItems(const ItemValue* values, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        const ItemId item = kItemThreshold1 + i;
        if (SetItem(item, values[i]))
            continue;
        char text[256];
        // The short form ("e0a0017") on purpose, unlike SetThreshold's: both texts stay as users know them.
        std::snprintf(text, sizeof text, "[VeltraDll::SetThreshold] %x Failed", static_cast<unsigned>(item));
        ShowItemFailure(text);
    }
}

bool VeltraDll::CheckReboot(int32_t value) {
    uint32_t result = 0;
    return CallIfBound(m_pTorvexCheckReboot, value, &result) && result == 1;
}

bool VeltraDll::IsLulloSupported() {
    return CallIfBound(m_pIsLulloSupported) != 0;
}

bool VeltraDll::IsFanControlSupported() {
    return CallIfBound(m_pIsFanControlSupported) != 0;
}

bool VeltraDll::IsVexaSupported() {
    return CallIfBound(m_pIsVexaSupported) != 0;
}

bool VeltraDll::IsVexaTwoSupported() {
    return CallIfBound(m_pIsVexaTwoSupported) != 0;
}

bool VeltraDll::IsVexaThreeSupported() {
    return CallIfBound(m_pIsVexaThreeSupported) != 0;
}

bool VeltraDll::IsPindleSupported() {
    return CallIfBound(m_pIsPindleSupported) != 0;
}

bool VeltraDll::IsNitrelSupported() {
    return CallIfBound(m_pIsNitrelSupported) != 0;
}

bool VeltraDll::IsThermostatSupported() {
    return CallIfBound(m_pIsThermostatSupported) != 0;
}

bool VeltraDll::IsSupportedTwo() {
    return m_supportState == kSupportedTwo;
}

bool VeltraDll::IsSupportedThree() {
    return m_supportState == kSupportedThree || m_supportState == kSupportedThreeEx;
}

bool VeltraDll::IsSupportedThreeEx() {
    return m_supportState == kSupportedThreeEx;
}

bool VeltraDll::IsCapabilityEight() {
    ItemValue capability = 0;
    if (m_supportState == kSupportedThreeEx)
        GetItem(kItemCapability, capability); // a failed read leaves 0
    return capability == 8;
}

bool VeltraDll::IsWhirroThreeSupported() {
    return CallIfBound(m_pIsWhirroThreeSupported) != 0;
}

uint32_t VeltraDll::ButtonEnable() {
    return CallIfBound(m_pTorvexButtonEnable);
}

bool VeltraDll::GetItem(ItemId item, ItemValue& value) {
    return CallIfBound(m_pGetItem, item, &value) != 0;
}

bool VeltraDll::SetItem(ItemId item, ItemValue value) {
    return CallIfBound(m_pSetItem, item, value) != 0;
}

bool VeltraDll::IsItemSupported(ItemId item) {
    return CallIfBound(m_pIsItmeSupport, item) != 0;
}

uint32_t VeltraDll::SetItemEx(uint32_t a, uint32_t b, uint32_t c) {
    return CallIfBound(m_pSetItemEx, a, b, c);
}

void VeltraDll::SetThreshold(ItemValue t1, ItemValue t2, ItemValue t3) {
    // The long form ("0x0E0A0014") on purpose, unlike SetThresholdItems': both texts stay as users know them.
    if (!SetItem(kItemThreshold1, t1))
        ShowItemFailure("[VeltraDll::SetThreshold] 0x0E0A0014 Failed");
    if (!SetItem(kItemThreshold1 + 1, t2))
        ShowItemFailure("[VeltraDll::SetThreshold] 0x0E0A0015 Failed");
    if (!SetItem(kItemThreshold1 + 2, t3))
        ShowItemFailure("[VeltraDll::SetThreshold] 0x0E0A0016 Failed");
}

uint32_t VeltraDll::GetStringList(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return CallIfBound(m_pGetStringList, a, b, c, d);
}

uint32_t VeltraDll::GetItemDefaultValue(uint32_t a, uint32_t b) {
    return CallIfBound(m_pGetItemDefaultValue, a, b);
}

bool VeltraDll::GetItemInformation(uint32_t a, uint32_t b) {
    return CallIfBound(m_pGetNumberItemInformation, a, b) != 0;
}
