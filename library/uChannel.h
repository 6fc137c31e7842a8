// One channel of a data logger's sensor: a name that the library carries but
// neither reads nor sets.
#pragma once

#include <string>

class TChannels {
public:
    TChannels() = default;
    TChannels(const TChannels&) = delete;
    TChannels& operator=(const TChannels&) = delete;
    virtual ~TChannels();

    virtual std::u16string GetName() const;
    virtual void SetName(const std::u16string& Name);

private:
    std::u16string fName;
};
