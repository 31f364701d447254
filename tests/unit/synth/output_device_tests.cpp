// Device initialisation with its fallbacks, against a scripted back end, and
// the chooser's device list.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "synth/output_devices.h"
#include "synth_test_support.h"

namespace {

// What BASS_Init answers per device: 0 success, otherwise the error code.
std::map<int, int> g_initResult;
std::vector<int> g_initCalls;
std::vector<DWORD> g_bufferConfig;
int g_lastError = 0;

BOOL WINAPI FakeInit(int device, DWORD, DWORD, HWND, const void*) {
    g_initCalls.push_back(device);
    const auto it = g_initResult.find(device);
    g_lastError = it == g_initResult.end() ? 0 : it->second;
    return g_lastError == 0;
}
int WINAPI FakeError() { return g_lastError; }
BOOL WINAPI FakeSetDevice(DWORD) { return TRUE; }
BOOL WINAPI FakeGetInfo(BASS_INFO* info) {
    *info = BASS_INFO{};
    info->initflags = BASS_DEVICE_LATENCY;
    info->minbuf = 30;
    return TRUE;
}
BOOL WINAPI FakeSetConfig(DWORD option, DWORD value) {
    if (option == BASS_CONFIG_BUFFER) g_bufferConfig.push_back(value);
    return TRUE;
}
BOOL WINAPI FakeDeviceInfo(DWORD device, BASS_DEVICEINFO* info) {
    static const char* names[] = {"No sound", "Default", "Speakers; front", "Disabled one", "Headset"};
    if (device >= 5) return FALSE;
    info->name = names[device];
    info->driver = "";
    info->flags = device == 3 ? 0 : BASS_DEVICE_ENABLED;
    return TRUE;
}

DeviceApi FakeApi() {
    DeviceApi api;
    api.init = &FakeInit;
    api.errorGetCode = &FakeError;
    api.setDevice = &FakeSetDevice;
    api.getInfo = &FakeGetInfo;
    api.setConfig = &FakeSetConfig;
    api.getDeviceInfo = &FakeDeviceInfo;
    return api;
}

PortOutputDevices Ports(std::initializer_list<DWORD> devices) {
    PortOutputDevices ports{};
    DWORD i = 0;
    for (DWORD d : devices) {
        ports[i].Device = d;
        ports[i].Name = L"Saved " + std::to_wstring(d);
        ++i;
    }
    return ports;
}

class DeviceInit : public ::testing::Test {
protected:
    void SetUp() override {
        g_initResult.clear();
        g_initCalls.clear();
        g_bufferConfig.clear();
    }
    synthtest::TestConfig config;
};

}  // namespace

TEST_F(DeviceInit, EachDeviceOnceInAscendingOrderWithItsBuffer) {
    const auto result = InitializeOutputDevices(Ports({3, 1, 3, 2}), 4, 48000, 250, FakeApi());
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(g_initCalls, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(result.devices, (std::vector<int>{1, 2, 3}));
    // AdditionalBuffer + 10 + the device's minimum buffer (latency measured).
    EXPECT_EQ(g_bufferConfig, (std::vector<DWORD>{290, 290, 290}));
    EXPECT_TRUE(config.Messages().empty());
}

TEST_F(DeviceInit, OnlyThePortsThatExistCount) {
    InitializeOutputDevices(Ports({2, 5}), 1, 48000, 250, FakeApi());
    EXPECT_EQ(g_initCalls, (std::vector<int>{2}));
}

TEST_F(DeviceInit, AVanishedDeviceFallsBackToTheDefaultOnceWithOneMessage) {
    g_initResult[4] = BASS_ERROR_DEVICE;
    const auto result = InitializeOutputDevices(Ports({4, 4}), 2, 48000, 250, FakeApi());
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(g_initCalls, (std::vector<int>{4, 1}));
    EXPECT_EQ(result.devices, (std::vector<int>{1}));
    EXPECT_EQ(EffectiveDevice(result, 4), 1);
    EXPECT_EQ(config.Messages(), (std::vector<std::wstring>{L"err.outputDeviceInaccessible"}));
}

TEST_F(DeviceInit, AFailingDefaultDeviceFallsBackToNoSound) {
    g_initResult[1] = BASS_ERROR_DEVICE;
    g_initResult[3] = BASS_ERROR_DEVICE;
    const auto result = InitializeOutputDevices(Ports({3}), 1, 48000, 250, FakeApi());
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(g_initCalls, (std::vector<int>{3, 1, 0}));
    EXPECT_EQ(EffectiveDevice(result, 3), 0);
    // Only device 3 was configured by a port: device 1 fails without a message.
    EXPECT_EQ(config.Messages().size(), 1u);
}

TEST_F(DeviceInit, AlreadyInitialisedIsFineAndNoSoundFailureIsReported) {
    g_initResult[1] = BASS_ERROR_ALREADY;
    g_initResult[0] = BASS_ERROR_DEVICE;
    auto result = InitializeOutputDevices(Ports({1}), 1, 48000, 250, FakeApi());
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.devices, (std::vector<int>{1}));
    EXPECT_TRUE(g_bufferConfig.empty());

    result = InitializeOutputDevices(Ports({0}), 1, 48000, 250, FakeApi());
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.devices.empty());
    const auto messages = config.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], L"Error initializing nosound device");
}

TEST_F(DeviceInit, ADeviceThatCannotBeOpenedFailsTheWholeInitialisation) {
    g_initResult[2] = BASS_ERROR_DRIVER;
    const auto result = InitializeOutputDevices(Ports({1, 2, 3}), 3, 48000, 250, FakeApi());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(g_initCalls, (std::vector<int>{1, 2}));
    EXPECT_EQ(result.devices, (std::vector<int>{1}));  // released by the caller
    EXPECT_EQ(config.Messages(), (std::vector<std::wstring>{L"err.outputDeviceOpen"}));
}

TEST_F(DeviceInit, ChooserListsTheDefaultAndTheEnabledDevices) {
    DWORD last = 0;
    const auto devices = EnumerateOutputDevices(&last, FakeApi());
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices.at(1), L"<cfg.opt.defaultDeviceMenu>");
    EXPECT_EQ(devices.at(2), L"Speakers  front");
    EXPECT_EQ(devices.at(4), L"Headset");
    EXPECT_EQ(devices.count(0), 0u);
    EXPECT_EQ(last, 5u);

    int port = 0;
    DWORD device = 0;
    DecodeDeviceMenuId(DeviceMenuId(-1, 4), port, device);
    EXPECT_EQ(port, -1);
    EXPECT_EQ(device, 4u);
    DecodeDeviceMenuId(DeviceMenuId(3, 0), port, device);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(device, 0u);
}
