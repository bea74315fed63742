#include "fake_camlib.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "camlib/camlib.h"

namespace quillon_test {
namespace {

std::recursive_mutex g_mutex;

FakeCamlib& State() {
    static FakeCamlib state;
    return state;
}

void Log(const std::string& call) {
    FakeCamlib& f = State();
    f.calls.push_back(call);
    if (f.log) f.log("cam " + call);
}

FakeCamera* At(int32_t index) {
    FakeCamlib& f = State();
    if (index < 0 || static_cast<size_t>(index) >= f.cameras.size()) return nullptr;
    return &f.cameras[static_cast<size_t>(index)];
}

FakeCamera* Selected() {
    return At(State().selected);
}

bool AllZero(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i)
        if (p[i] != 0) return false;
    return true;
}

}  // namespace

FakeCamlib& Fake() {
    return State();
}

void ResetFake() {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    State() = FakeCamlib{};
}

}  // namespace quillon_test

using quillon_test::At;
using quillon_test::g_mutex;
using quillon_test::Log;
using quillon_test::Selected;
using quillon_test::State;

extern "C" {

int32_t CamInitialize(const char* vidPid) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    Log(std::string("CamInitialize(") + (vidPid ? vidPid : "null") + ")");
    if (State().initFails) return 1;
    State().selected = State().cameras.empty() ? -1 : 0;
    return 0;
}

int32_t CamEnumDevices(DeviceInfo* infos, int32_t* number, int32_t maxCount) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    Log("CamEnumDevices(" + std::to_string(maxCount) + ")");
    auto& f = State();
    f.enumMaxCount = maxCount;
    if (!quillon_test::AllZero(infos, sizeof(DeviceInfo) * static_cast<size_t>(maxCount)))
        f.enumInfosZeroed = false;
    if (f.enumFails) return 1;
    const auto count = static_cast<int32_t>(f.cameras.size());
    for (int32_t i = 0; i < count && i < maxCount; ++i) {
        infos[i].chipID = f.cameras[static_cast<size_t>(i)].chipId;
        infos[i].friendName[0] = u'C';
    }
    *number = count;
    return 0;
}

int32_t CamGetChipId(int32_t index, int32_t* chipClass, uint8_t* id) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    Log("CamGetChipId(" + std::to_string(index) + ")");
    quillon_test::FakeCamera* c = At(index);
    if (c == nullptr || c->chipIdFails) return 1;
    *chipClass = c->chipClass;
    *id = c->chipId;
    return 0;
}

int32_t CamGetFirmwareId(int32_t index, uint8_t* buffer, int32_t size) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    Log("CamGetFirmwareId(" + std::to_string(index) + "," + std::to_string(size) + ")");
    quillon_test::FakeCamera* c = At(index);
    if (c == nullptr || c->firmwareIdFails) return 1;
    std::memcpy(buffer, c->firmwareId.data(), 4);
    return 0;
}

int32_t CamSelectDevice(int32_t index) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    Log("CamSelectDevice(" + std::to_string(index) + ")");
    if (At(index) == nullptr) return 1;
    State().selected = index;
    return 0;
}

int32_t CamGetLastError(int32_t* error) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    Log("CamGetLastError");
    quillon_test::FakeCamera* c = Selected();
    if (c == nullptr) return 1;
    *error = c->lastError;
    return 0;
}

int32_t CamGetFirmwareVersion(char* buffer, int32_t size, uint8_t rawForm) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    Log("CamGetFirmwareVersion(" + std::to_string(size) + "," + std::to_string(rawForm) + ")");
    State().versionBufferSize = size;
    State().versionRawForm = rawForm;
    quillon_test::FakeCamera* c = Selected();
    if (c == nullptr || c->versionFails) return 1;
    std::memcpy(buffer, c->version.data(), std::min<size_t>(c->version.size(), size));
    return 0;
}

int32_t CamGetFlashType(int32_t* type, uint8_t allowFallback) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    Log("CamGetFlashType(" + std::to_string(allowFallback) + ")");
    quillon_test::FakeCamera* c = Selected();
    if (c == nullptr || c->flashTypeFails) return 1;
    *type = c->flashType;
    return 0;
}

int32_t CamBurnFirmware(const uint8_t* image, int32_t length, ProgressCallback callback,
                        void* context, int32_t flashType, uint8_t fullVerify) {
    quillon_test::FakeBurn burn;
    {
        std::lock_guard<std::recursive_mutex> lock(g_mutex);
        Log("CamBurnFirmware(" + std::to_string(length) + "," + std::to_string(flashType) + "," +
            std::to_string(fullVerify) + ")");
        State().burnCalls.push_back({image, length, callback != nullptr, context, flashType,
                                     fullVerify, std::this_thread::get_id()});
        quillon_test::FakeCamera* c = Selected();
        if (c == nullptr) return 1;
        if (c->burns.empty()) {
            burn.progress = {0.5f, 1.0f};
        } else {
            burn = std::move(c->burns.front());
            c->burns.pop_front();
        }
    }
    // The callback waits for the user-interface thread: no lock held here.
    if (callback)
        for (float fraction : burn.progress) callback(context, fraction);
    if (burn.during) burn.during();
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    if (burn.result != 0)
        if (quillon_test::FakeCamera* c = Selected()) c->lastError = burn.error;
    return burn.result;
}

int32_t CamFinishUpgrade(void) {
    std::lock_guard<std::recursive_mutex> lock(g_mutex);
    Log("CamFinishUpgrade");
    return Selected() ? 0 : 1;
}

}  // extern "C"
