#include "uDUU.h"

TDUU::~TDUU() { CloseDevice(); }

int32_t TDUU::GetTyp() { return IsDestroying.load() ? -1 : kTyp; }

std::u16string TDUU::GetName() { return IsDestroying.load() ? std::u16string() : u"DUU"; }
