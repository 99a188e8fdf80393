#include "host/CEffectGroup.h"

#include "host/CEffectType.h"

void CEffectGroup::AddEffectType(CEffectType* type) { AddProcessType(type); }
