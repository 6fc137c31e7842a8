#include "uChannel.h"

TChannels::~TChannels() = default;

std::u16string TChannels::GetName() const { return fName; }

void TChannels::SetName(const std::u16string& Name) { fName = Name; }
