// The data logger's one sensor: it carries the values of a downloaded file to
// the client (queued by the logger's reader) and reads the latest values
// through its logger.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "uChannel.h"
#include "uTemplateSensors.h"

class TTemplateDevices;

class TSensorsDLU : public TTemplateSensors {
public:
    // The address the logger gives its sensor.
    static constexpr int32_t kLoggerAddress = 1;

    TSensorsDLU();
    ~TSensorsDLU() override;

    // Owner's ReadLatest(fAddress, Count, Values, Mode); -1 while destroying or
    // without an owner.
    int32_t ReadLatestMeasurement(int32_t Count, int32_t* Values, int32_t Mode) override;

    // Set by the logger right after construction, before the sensor is handed out.
    void SetOwner(TTemplateDevices* Owner, int32_t Address);
    TTemplateDevices* GetOwner() const { return fOwner; }
    int32_t GetLoggerAddress() const { return fAddress; }
    TChannels* GetChannel() const { return fChannel.get(); }
    const std::vector<TChannels*>& GetChannelList() const { return fChannelList; }

private:
    std::unique_ptr<TChannels> fChannel;
    std::vector<TChannels*> fChannelList;  // fChannel, its only entry
    TTemplateDevices* fOwner = nullptr;
    int32_t fAddress = 0;
};
