// A camera library for the dialog tests: the Cam* functions of
// camlib/camlib.h, linked into app_tests in place of the real library, acting
// on cameras the test describes. Every call is logged (and handed to a hook,
// so a test can merge it into the host's record).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace quillon_test {

struct FakeBurn {
    int32_t result = 0;             // what CamBurnFirmware returns
    int32_t error = 0;              // the camera's error code after a failure
    std::vector<float> progress{};  // fractions reported through the callback
    // Runs on the burning thread, after the progress calls.
    std::function<void()> during;
};

struct FakeCamera {
    uint8_t chipId = 0x88;
    int32_t chipClass = 2;
    bool chipIdFails = false;
    std::array<uint8_t, 4> firmwareId{};
    bool firmwareIdFails = false;
    std::string version;  // written by CamGetFirmwareVersion (up to the buffer's size)
    bool versionFails = false;
    int32_t flashType = 5;
    bool flashTypeFails = false;  // the type is then left as the caller preset it
    std::deque<FakeBurn> burns;   // one per burn; when empty, a success at 0.5 and 1.0
    int32_t lastError = 0;
};

struct FakeBurnCall {
    const uint8_t* image;
    int32_t length;
    bool hasCallback;
    void* context;
    int32_t flashType;
    uint8_t fullVerify;
    std::thread::id thread;
};

struct FakeCamlib {
    bool initFails = false;
    bool enumFails = false;
    std::vector<FakeCamera> cameras;
    int32_t selected = -1;

    // What the application did.
    std::vector<std::string> calls;
    std::vector<FakeBurnCall> burnCalls;
    bool enumInfosZeroed = true;  // every CamEnumDevices got zeroed records
    int32_t enumMaxCount = -1;
    int32_t versionBufferSize = -1;
    int32_t versionRawForm = -1;
    std::function<void(const std::string&)> log;
};

// The library's state; Reset before each test.
FakeCamlib& Fake();
void ResetFake();

}  // namespace quillon_test
