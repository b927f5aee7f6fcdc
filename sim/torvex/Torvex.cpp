// The simulated vendor library: behaves as SimConfig says and journals every call.
#include "sim/torvex/SimConfig.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

using TorvexBool = unsigned char;

constexpr DWORD kItemLevel = 0x0B060001;

std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string OutText(bool written, uint32_t value) {
    return written ? Format("&%lu", static_cast<unsigned long>(value)) : std::string("&-");
}

std::string Key(const char* exportName) {
    return std::string("Result.") + exportName;
}

TorvexBool BoolResult(const char* exportName) {
    return static_cast<TorvexBool>(SimConfig::Read(Key(exportName).c_str(), 1));
}

uint32_t WordResult(const char* exportName) {
    return SimConfig::Read(Key(exportName).c_str(), 0);
}

// A yes/no answer as it leaves the library in the return register: the configured word whole, so
// that a caller reading more than the low byte meets the bits a real library may leave above it.
using ReturnRegister = uint32_t;

ReturnRegister Yes(const char* exportName) {
    const ReturnRegister result = SimConfig::Read(Key(exportName).c_str(), 1);
    SimConfig::Journal(Format("%s() = %lu", exportName, static_cast<unsigned long>(result)));
    return result;
}

// The shape of TorvexIsSupport and TorvexCheckOC: one out-value from the configuration.
TorvexBool ReportOut(const char* exportName, const char* valueName, DWORD fallback, uint32_t* out) {
    const TorvexBool result = BoolResult(exportName);
    if (result)
        *out = SimConfig::Read(valueName, fallback);
    SimConfig::Journal(Format("%s(%s) = %u", exportName, OutText(result, result ? *out : 0).c_str(), result));
    return result;
}

bool ItemFlag(DWORD item, const char* flag) {
    return SimConfig::ReadItem(item, flag, 1) != 0;
}

DWORD ItemValueOf(DWORD item) {
    return item == kItemLevel ? SimConfig::Read("Level", 0) : SimConfig::ReadItem(item, "Value", 0);
}

void StoreItemValue(DWORD item, DWORD value) {
    if (item == kItemLevel)
        SimConfig::Write("Level", value);
    else
        SimConfig::WriteItem(item, "Value", value);
}

} // namespace

// Exported through Torvex.def, which keeps the 32-bit __stdcall names undecorated.
#define TORVEX_API extern "C"

#ifdef TORVEX_SIM_DEPENDENCIES
// The variant with DLLs of its own, as a vendor library may have: one imported, one loaded by bare
// name when initialised and kept loaded.
extern "C" int TorvexDependencyMarker();
#endif

TORVEX_API ReturnRegister WINAPI TorvexInit() {
#ifdef TORVEX_SIM_DEPENDENCIES
    TorvexDependencyMarker();
    ::LoadLibraryW(L"TorvexPlug.dll");
#endif
    return Yes("TorvexInit");
}

TORVEX_API TorvexBool WINAPI TorvexGetLevel(uint32_t* level) {
    return ReportOut("TorvexGetLevel", "Level", 0, level);
}

TORVEX_API TorvexBool WINAPI TorvexSetLevel(uint32_t level) {
    const TorvexBool result = BoolResult("TorvexSetLevel");
    if (result)
        SimConfig::Write("Level", level);
    SimConfig::Journal(Format("TorvexSetLevel(%lu) = %u", static_cast<unsigned long>(level), result));
    return result;
}

TORVEX_API TorvexBool WINAPI TorvexIsSupport(uint32_t* support) {
    return ReportOut("TorvexIsSupport", "IsSupport", 1, support);
}

TORVEX_API TorvexBool WINAPI TorvexCheckOC(uint32_t* state) {
    return ReportOut("TorvexCheckOC", "CheckOC", 0, state);
}

TORVEX_API TorvexBool WINAPI TorvexCheckReboot(int32_t value, uint32_t* reboot) {
    const TorvexBool result = BoolResult("TorvexCheckReboot");
    if (result)
        *reboot = SimConfig::Read("CheckReboot", 0);
    SimConfig::Journal(Format("TorvexCheckReboot(%ld, %s) = %u", static_cast<long>(value),
                              OutText(result, result ? *reboot : 0).c_str(), result));
    return result;
}

TORVEX_API ReturnRegister WINAPI IsLulloSupported() {
    return Yes("IsLulloSupported");
}

TORVEX_API ReturnRegister WINAPI IsFanControlSupported() {
    return Yes("IsFanControlSupported");
}

TORVEX_API ReturnRegister WINAPI IsVexaSupported() {
    return Yes("IsVexaSupported");
}

TORVEX_API ReturnRegister WINAPI IsVexaTwoSupported() {
    return Yes("IsVexaTwoSupported");
}

TORVEX_API ReturnRegister WINAPI IsVexaThreeSupported() {
    return Yes("IsVexaThreeSupported");
}

TORVEX_API ReturnRegister WINAPI IsPindleSupported() {
    return Yes("IsPindleSupported");
}

TORVEX_API ReturnRegister WINAPI IsNitrelSupported() {
    return Yes("IsNitrelSupported");
}

TORVEX_API TorvexBool WINAPI IsThermostatSupported() {
    // Off unless asked for: a thermostat machine makes the helper ignore every power event.
    const TorvexBool result = static_cast<TorvexBool>(SimConfig::Read("Result.IsThermostatSupported", 0));
    SimConfig::Journal(Format("IsThermostatSupported() = %u", result));
    return result;
}

TORVEX_API ReturnRegister WINAPI IsTorvexTwoSupported() {
    return Yes("IsTorvexTwoSupported");
}

TORVEX_API ReturnRegister WINAPI IsWhirroThreeSupported() {
    return Yes("IsWhirroThreeSupported");
}

TORVEX_API uint32_t WINAPI TorvexButtonEnable() {
    const uint32_t result = WordResult("TorvexButtonEnable");
    SimConfig::Journal(Format("TorvexButtonEnable() = %lu", static_cast<unsigned long>(result)));
    return result;
}

TORVEX_API TorvexBool WINAPI TorvexGetItem(uint32_t item, uint32_t* value) {
    const TorvexBool result =
        ItemFlag(item, "Supported") && ItemFlag(item, "Readable") ? BoolResult("TorvexGetItem") : 0;
    if (result)
        *value = ItemValueOf(item);
    SimConfig::Journal(Format("TorvexGetItem(0x%08lX, %s) = %u", static_cast<unsigned long>(item),
                              OutText(result, result ? *value : 0).c_str(), result));
    return result;
}

TORVEX_API TorvexBool WINAPI TorvexSetItem(uint32_t item, uint32_t value) {
    const TorvexBool result =
        ItemFlag(item, "Supported") && ItemFlag(item, "Writable") ? BoolResult("TorvexSetItem") : 0;
    if (result)
        StoreItemValue(item, value);
    SimConfig::Journal(Format("TorvexSetItem(0x%08lX, %lu) = %u", static_cast<unsigned long>(item),
                              static_cast<unsigned long>(value), result));
    return result;
}

TORVEX_API uint32_t WINAPI SetItemEx(uint32_t a, uint32_t b, uint32_t c) {
    const uint32_t result = WordResult("SetItemEx");
    SimConfig::Journal(Format("SetItemEx(%lu, %lu, %lu) = %lu", static_cast<unsigned long>(a),
                              static_cast<unsigned long>(b), static_cast<unsigned long>(c),
                              static_cast<unsigned long>(result)));
    return result;
}

TORVEX_API TorvexBool WINAPI IsItemSupported(uint32_t item) {
    const TorvexBool result = ItemFlag(item, "Supported") ? BoolResult("IsItemSupported") : 0;
    SimConfig::Journal(Format("IsItemSupported(0x%08lX) = %u", static_cast<unsigned long>(item), result));
    return result;
}

TORVEX_API uint32_t WINAPI GetStringList(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t result = WordResult("GetStringList");
    SimConfig::Journal(Format("GetStringList(%lu, %lu, %lu, %lu) = %lu", static_cast<unsigned long>(a),
                              static_cast<unsigned long>(b), static_cast<unsigned long>(c),
                              static_cast<unsigned long>(d), static_cast<unsigned long>(result)));
    return result;
}

TORVEX_API uint32_t WINAPI GetItemDefaultValue(uint32_t a, uint32_t b) {
    const uint32_t result = WordResult("GetItemDefaultValue");
    SimConfig::Journal(Format("GetItemDefaultValue(%lu, %lu) = %lu", static_cast<unsigned long>(a),
                              static_cast<unsigned long>(b), static_cast<unsigned long>(result)));
    return result;
}

TORVEX_API TorvexBool WINAPI GetItemInformation(uint32_t a, uint32_t b) {
    const TorvexBool result = BoolResult("GetItemInformation");
    SimConfig::Journal(Format("GetItemInformation(%lu, %lu) = %u", static_cast<unsigned long>(a),
                              static_cast<unsigned long>(b), result));
    return result;
}
