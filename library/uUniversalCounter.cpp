#include "uUniversalCounter.h"

TUNIZ::~TUNIZ() { CloseDevice(); }

int32_t TUNIZ::GetTyp() { return IsDestroying.load() ? -1 : kTyp; }

void TUNIZ::GetName(std::u16string& Name) {
    if (!IsDestroying.load()) Name = u"UNIZ";
}
