#pragma once

#include "level/VeltraImp.h"

#include <memory>

// The process-wide level controller: guards the level operations and carries the rule that leaves
// a level above 255 through level 0 on machines that need it.
class Veltra {
public:
    explicit Veltra(std::unique_ptr<VeltraImp> imp);

    static void SetImpIndex(int index);
    static Veltra& Instance();

    Level GetLevel();
    bool SetLevel(Level level);

    bool IsSupported();
    bool IsThermostatSupported();
    bool GetItem(ItemId item, ItemValue& value);
    bool IsItemSupported(ItemId item);

private:
    std::unique_ptr<VeltraImp> m_pImp;

    static int m_impIndex;
    static Veltra* m_pInstance;
};

// The threshold questions asked through a facade; the implementation asks its library itself.
bool IsResetItemSet(Veltra& veltra);
bool IsSixThresholdSupported();
