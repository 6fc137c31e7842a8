#include "uUniversalCounter.h"

TUNIZ::~TUNIZ() { CloseDevice(); }

int32_t TUNIZ::GetTyp() { return IsDestroying.load() ? -1 : kTyp; }

std::u16string TUNIZ::GetName() { return IsDestroying.load() ? std::u16string() : u"UNIZ"; }
