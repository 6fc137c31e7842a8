// Message-pump hook: the library's reply waits call PumpMessages() between polls.
// By default it does nothing; a GUI program installs a pump that runs its event loop.
#pragma once

namespace z5 {

using MessagePump = void (*)();

void SetMessagePump(MessagePump pump);  // nullptr restores the default
void PumpMessages();
// A pump is installed: waits let it run now and then instead of sleeping through.
bool MessagePumpInstalled();

}  // namespace z5
