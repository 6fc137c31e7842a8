// The common frame of the exports, with the export table built into the test
// so that DevicesBusy and the registry can be set from here.
#include <gtest/gtest.h>

#include <stdexcept>

#include "discovery_support.h"
#include "tovamod.h"
#include "uExportFrame.h"
#include "uRTUU.h"
#include "uTemplateDevices.h"
#include "uTemplateSensors.h"
#include "z5sim_deskport.h"

using namespace discovery_test;
using namespace std::chrono_literals;

namespace {

class CountingDevice : public TTemplateDevices {
public:
    int32_t CloseDevice() override {
        ++closes;
        return 0;
    }
    int32_t GetSensorCount() override { return 1; }
    TTemplateSensors* GetSensor(int32_t) override { throw std::runtime_error("broken"); }
    int closes = 0;
};

class CountingSensor : public TTemplateSensors {
public:
    ~CountingSensor() override { BeginDestruction(); }
};

class Frame : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterDevice(&device);
        RegisterSensor(&sensor);
    }
    void TearDown() override {
        DevicesBusy = false;
        UnregisterDevice(&device);
        UnregisterSensor(&sensor);
        tovamod_uninit();
    }
    Scene scene;
    CountingDevice device;
    CountingSensor sensor;
};

TEST_F(Frame, RefusedWhileDevicesAreBusy) {
    ASSERT_EQ(tovamod_init(), 0);
    DevicesBusy = true;
    EXPECT_EQ(tovamod_CloseDevice(&device), -1);
    EXPECT_EQ(device.closes, 0) << "the device is not touched";
    void* sensorOut = nullptr;
    uint8_t status = 0;
    EXPECT_EQ(tovamod_OpenSensor(&device, 921600, 0, 0, &sensorOut, &status), -1);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(tovamod_GetNumberOfAvailableDevice(), -1);
    const z5_char16* name = u"unchanged";
    EXPECT_EQ(tovamod_GetNthAvailableDevice(&name, 0), -1);
    EXPECT_EQ(std::u16string(name), u"unchanged");
    int32_t max = 77;
    EXPECT_EQ(tovamod_OpenDevice(0, 921600, 0, &max), nullptr);
    EXPECT_EQ(max, 77);
    tovamod_DeactivateDevicesIdentification();  // refused: identification stays on
    EXPECT_NE(tovamod_GetHardwareStructure(), nullptr) << "no refusal for the copy";
    EXPECT_EQ(tovamod_DisplayTracer(1), 0);

    DevicesBusy = false;
    ASSERT_TRUE(scene.bus.Plug(std::make_shared<z5sim::DeskPort>("Zelto5 Desk-Port", "D1")));
    EXPECT_TRUE(WaitUntil([] { return tovamod_GetNumberOfAvailableDevice() == 1; }));
    EXPECT_EQ(tovamod_CloseDevice(&device), 0);
    EXPECT_EQ(device.closes, 1);
}

TEST_F(Frame, HandleTestAndCaughtExceptions) {
    bool refused = false;
    auto refuse = [&] { refused = true; };
    auto close = [](TTemplateDevices& d) { return d.CloseDevice(); };
    EXPECT_EQ(WithDevice(nullptr, -1, close, refuse), -1);
    EXPECT_TRUE(std::exchange(refused, false));
    EXPECT_EQ(WithDevice(&sensor, -1, close, refuse), -1) << "a sensor is no device";
    EXPECT_TRUE(std::exchange(refused, false));
    device.IsDestroying = true;
    EXPECT_EQ(WithDevice(&device, -1, close, refuse), -1);
    EXPECT_TRUE(std::exchange(refused, false));
    device.IsDestroying = false;
    EXPECT_EQ(WithDevice(&device, -1, close, refuse), 0);
    EXPECT_FALSE(refused);

    int out = 5;
    EXPECT_EQ(WithDevice(
                  &device, -1,
                  [&](TTemplateDevices& d) {
                      out = 6;
                      return d.GetSensor(0) ? 0 : 1;
                  },
                  refuse),
              -1);
    EXPECT_EQ(out, 6) << "after an exception the out-arguments stay as the operation left them";
    EXPECT_FALSE(refused);

    void* sensorOut = nullptr;
    uint8_t status = 9;
    EXPECT_EQ(tovamod_OpenSensor(&device, 921600, 0, 0, &sensorOut, &status), -1);
    EXPECT_EQ(status, 9);
    EXPECT_EQ(tovamod_OpenSensor(&device, 921600, 0, 2, &sensorOut, &status), -1) << "above the sensor count";
    EXPECT_EQ(status, 3);

    EXPECT_EQ(WithSensor(&sensor, int64_t{-1}, [](TTemplateSensors& s) { return s.GetNumMeasureAvailable(); }), 0);
    EXPECT_EQ(WithSensor(&device, int64_t{-1}, [](TTemplateSensors& s) { return s.GetNumMeasureAvailable(); }), -1);
    EXPECT_EQ(LeasesHeldByThisThread(), 0);
}

TEST_F(Frame, UninitFromInsideAnExportIsRefused) {
    ASSERT_EQ(tovamod_init(), 0);
    // A notification handler runs inside an export; uninit there would wait for itself.
    EXPECT_EQ(WithDevice(&device, -2, [](TTemplateDevices&) { return tovamod_uninit(); }), -1);
    EXPECT_EQ(WithModerator(false, -2, -2, [](TModerator&) { return tovamod_uninit(); }), -1);
    EXPECT_EQ(WithModerator(false, -2, -2, [](TModerator&) { return tovamod_init(); }), 0);
    EXPECT_EQ(tovamod_DisplayTracer(0), 0) << "still initialised";
    EXPECT_EQ(tovamod_uninit(), 0);
}

TEST_F(Frame, ModeratorFrame) {
    auto count = [](TModerator& m) { return m.GetDeviceCount(); };
    EXPECT_EQ(WithModerator(true, 0, -1, count), 0) << "not initialised";
    ASSERT_EQ(tovamod_init(), 0);
    EXPECT_EQ(WithModerator(true, 0, -1, count), 0);
    EXPECT_EQ(WithModerator(true, 0, -1, [](TModerator& m) { return m.GetDeviceMaxSensors(-1); }), -1)
        << "the list's index failure is caught";
    DevicesBusy = true;
    EXPECT_EQ(WithModerator(true, 0, -1, count), -1);
    EXPECT_EQ(WithModerator(false, 0, -1, count), 0);
}

}  // namespace
