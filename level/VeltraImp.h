#pragma once

#include <cstdint>

using Level = uint32_t;
using ItemId = uint32_t;
using ItemValue = uint32_t;

enum SupportState : uint8_t {
    kNotSupported = 0,
    kSupportedBasic = 1,
    kSupportedTwo = 2,
    kSupportedThree = 3,
    kSupportedThreeEx = 4,
};

constexpr Level kUserLevel = 0x8000; // the level that carries threshold values
constexpr Level kHighestOrdinaryLevel = 255;

constexpr ItemId kItemLevel = 0x0B060001;
constexpr ItemId kItemFeatureSwitch = 0x0B060002;
constexpr ItemId kItemCapability = 0x0B060003;
constexpr ItemId kItemThreshold1 = 0x0E0A0014; // threshold items 1..6 follow one another
constexpr ItemId kItemReset = 0x00070005;

// The level controller's interface. The order of the operations is part of the contract with
// implementations, so keep it.
class VeltraImp {
public:
    virtual ~VeltraImp() = default;
    virtual bool Init() = 0;
    virtual bool IsSupported() = 0;
    virtual bool CheckOC() = 0;
    virtual Level GetLevel() = 0;
    virtual bool SetLevel(Level level) = 0;
    virtual bool SetLevelByItem(Level level) = 0;
    virtual bool CheckReboot(int32_t value) = 0;
    virtual bool IsLulloSupported() = 0;
    virtual bool IsFanControlSupported() = 0;
    virtual bool IsVexaSupported() = 0;
    virtual bool IsVexaTwoSupported() = 0;
    virtual bool IsVexaThreeSupported() = 0;
    virtual bool IsPindleSupported() = 0;
    virtual bool IsNitrelSupported() = 0;
    virtual bool IsThermostatSupported() = 0;
    virtual bool IsSupportedTwo() = 0;
    virtual bool IsSupportedThree() = 0;
    virtual bool IsSupportedThreeEx() = 0;
    virtual bool IsCapabilityEight() = 0;
    virtual bool IsWhirroThreeSupported() = 0;
    virtual uint32_t ButtonEnable() = 0;
    virtual bool GetItem(ItemId item, ItemValue& value) = 0;
    virtual bool SetItem(ItemId item, ItemValue value) = 0;
    virtual bool IsItemSupported(ItemId item) = 0;
    virtual uint32_t SetItemEx(uint32_t a, uint32_t b, uint32_t c) = 0;
    virtual void SetThreshold(ItemValue t1, ItemValue t2, ItemValue t3) = 0;
    virtual uint32_t GetStringList(uint32_t a, uint32_t b, uint32_t c, uint32_t d) = 0;
    virtual uint32_t GetItemDefaultValue(uint32_t a, uint32_t b) = 0;
    virtual bool GetItemInformation(uint32_t a, uint32_t b) = 0;
};
