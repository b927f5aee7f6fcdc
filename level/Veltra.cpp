#include "level/Veltra.h"

#include "level/VeltraDll.h"
#include "mirov/Check.h"

int Veltra::m_impIndex = -1;
Veltra* Veltra::m_pInstance = nullptr;

Veltra::Veltra(std::unique_ptr<VeltraImp> imp) : m_pImp(std::move(imp)) {}

void Veltra::SetImpIndex(int index) {
    m_impIndex = index;
}

Veltra& Veltra::Instance() {
    if (m_pInstance)
        return *m_pInstance;
    MIROV_CHECK(m_impIndex != -1);
    auto imp = m_impIndex == 0 ? std::make_unique<VeltraDll>() : std::make_unique<VeltraDll>("Torvex");
    // A missing library leaves the controller unbound and an unloadable one ends the program
    // inside Init, so its answer is of no use here.
    imp->Init();
    m_pInstance = new Veltra(std::move(imp)); // lives until the process ends
    return *m_pInstance;
}

Level Veltra::GetLevel() {
    MIROV_CHECK(IsSupported());
    return m_pImp->GetLevel();
}

bool Veltra::SetLevel(Level level) {
    MIROV_CHECK(IsSupported());
    if (GetLevel() > kHighestOrdinaryLevel && !m_pImp->IsSupportedThree())
        m_pImp->SetLevel(0);
    return m_pImp->SetLevel(level);
}

bool Veltra::IsSupported() {
    return m_pImp->IsSupported();
}

bool Veltra::IsThermostatSupported() {
    return m_pImp->IsThermostatSupported();
}

bool Veltra::GetItem(ItemId item, ItemValue& value) {
    return m_pImp->GetItem(item, value);
}

bool Veltra::IsItemSupported(ItemId item) {
    return m_pImp->IsItemSupported(item);
}

bool IsResetItemSet(Veltra& veltra) {
    ItemValue value = 0;
    return veltra.GetItem(kItemReset, value) && value == 1;
}

bool IsSixThresholdSupported() {
    Veltra& veltra = Veltra::Instance();
    for (ItemId item = kItemThreshold1 + 3; item <= kItemThreshold1 + 5; ++item) {
        if (!veltra.IsItemSupported(item))
            return false;
    }
    return true;
}
