#include "transport/timed_calls.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

#include "camlib/camera_manager.h"
#include "platform/thread.h"

namespace quillon {

uint32_t RegisterCallProc(RegisterCall& c) {
    const int32_t status = c.read ? xu::ReadRegister(c.device, c.reg, c.data)
                                  : xu::WriteRegister(c.device, c.reg, *c.data);
    return status == 0 ? 1 : 0;
}

uint32_t RomCallProc(RomCall& c) { return xu::ReadRom(c.device, c.address, c.output) == 0 ? 1 : 0; }

uint32_t MemoryTypeCallProc(MemoryTypeCall& c) {
    uint8_t memType = 0;
    const int32_t status = xu::GetMemoryType(c.device, &memType);
    if (status == 0) *c.output = memType;
    return status == 0 ? 1 : 0;
}

uint32_t MemoryCallProc(MemoryCall& c) {
    const int32_t status = c.read ? xu::ReadMemory(c.device, c.address, c.data, c.count)
                                  : xu::WriteMemory(c.device, c.address, c.data, c.count);
    return status == 0 ? 1 : 0;
}

uint32_t BlockCallProc(MemoryCall& c) {
    const int32_t status =
        c.read ? xu::ReadBlock(c.device, c.data, c.count) : xu::WriteBlock(c.device, c.data, c.count);
    return status == 0 ? 1 : 0;
}

namespace {

// Book-keeping of live workers, so tests can wait for abandoned ones to end.
struct WorkerCount {
    std::mutex lock;
    std::condition_variable ended;
    size_t live = 0;
};
WorkerCount& Workers() {
    static WorkerCount* w = new WorkerCount;  // outlives detached workers at exit
    return *w;
}

// Everything one worker uses, owned jointly by the call and the worker.
template <class Record>
struct Job {
    std::mutex lock;
    std::condition_variable cv;
    bool ended = false;
    uint32_t exitCode = 0;
    platform::ComPtr<platform::IBaseFilter> filter;  // keeps the target alive for the worker
    uint8_t buffer[64] = {};                          // the worker's copy of the data
    Record record{};
};

template <class Record>
using Proc = uint32_t (*)(Record&);

// Runs `proc` on a new thread and waits at most timeoutMs. On success copies
// `outLength` bytes of the worker's buffer to `out`. 0 or 1.
template <class Record>
int32_t RunOnWorker(const std::shared_ptr<Job<Record>>& job, Proc<Record> proc, uint8_t* out,
                    size_t outLength) {
    {
        std::lock_guard<std::mutex> g(Workers().lock);
        ++Workers().live;
    }
    auto work = [job = std::shared_ptr<Job<Record>>(job), proc]() mutable {
        const uint32_t code = proc(job->record);
        {
            std::lock_guard<std::mutex> g(job->lock);
            job->exitCode = code;
            job->ended = true;
        }
        job->cv.notify_all();
        job.reset();  // its filter reference goes before the worker counts as ended
        WorkerCount& w = Workers();
        std::lock_guard<std::mutex> g(w.lock);
        --w.live;
        w.ended.notify_all();
    };
    if (!platform::StartDetachedThread(work)) {
        std::lock_guard<std::mutex> g(Workers().lock);
        --Workers().live;
        return 1;
    }
    const uint32_t timeoutMs = CameraManager::Instance().timeoutMs;
    std::unique_lock<std::mutex> lk(job->lock);
    if (!job->cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return job->ended; }))
        return 1;  // abandoned; it finishes into its own copy
    if (job->exitCode == 0) return 1;
    if (out && outLength) std::memcpy(out, job->buffer, outLength);
    return 0;
}

template <class Record>
std::shared_ptr<Job<Record>> NewJob(platform::IBaseFilter* filter, int32_t nodeId) {
    auto job = std::make_shared<Job<Record>>();
    job->filter = platform::ComPtr<platform::IBaseFilter>(filter);
    job->record.device = XuTarget{job->filter.Get(), nodeId};
    return job;
}

bool UseWorker() { return CameraManager::Instance().useWorkerThread; }

}  // namespace

size_t LiveTimedWorkers() {
    std::lock_guard<std::mutex> g(Workers().lock);
    return Workers().live;
}

void WaitForTimedWorkers() {
    std::unique_lock<std::mutex> g(Workers().lock);
    Workers().ended.wait(g, [] { return Workers().live == 0; });
}

int32_t CameraDevice::ReadRegister(uint16_t reg, uint8_t* out) {
    if (!UseWorker()) return XuReadRegister(reg, out);
    auto job = NewJob<RegisterCall>(baseFilter.Get(), xuNodeId);
    job->buffer[0] = *out;
    job->record.reg = reg;
    job->record.data = job->buffer;
    job->record.read = 1;
    return RunOnWorker<RegisterCall>(job, RegisterCallProc, out, 1);
}

int32_t CameraDevice::WriteRegister(uint16_t reg, uint8_t value) {
    if (!UseWorker()) return XuWriteRegister(reg, value);
    auto job = NewJob<RegisterCall>(baseFilter.Get(), xuNodeId);
    job->buffer[0] = value;
    job->record.reg = reg;
    job->record.data = job->buffer;
    job->record.read = 0;
    return RunOnWorker<RegisterCall>(job, RegisterCallProc, nullptr, 0);
}

int32_t CameraDevice::ReadRom(uint16_t address, uint8_t* out8) {
    if (!UseWorker()) return XuReadRom(address, out8);
    auto job = NewJob<RomCall>(baseFilter.Get(), xuNodeId);
    std::memcpy(job->buffer, out8, 8);
    job->record.address = address;
    job->record.output = job->buffer;
    return RunOnWorker<RomCall>(job, RomCallProc, out8, 8);
}

int32_t CameraDevice::GetMemoryType(uint8_t* out) {
    if (!UseWorker()) return XuGetMemoryType(out);
    auto job = NewJob<MemoryTypeCall>(baseFilter.Get(), xuNodeId);
    job->buffer[0] = *out;
    job->record.output = job->buffer;
    return RunOnWorker<MemoryTypeCall>(job, MemoryTypeCallProc, out, 1);
}

int32_t CameraDevice::ReadMemory(int32_t address, uint8_t* out8, uint8_t count) {
    if (!UseWorker()) return XuReadMemory(address, out8, count);
    auto job = NewJob<MemoryCall>(baseFilter.Get(), xuNodeId);
    std::memcpy(job->buffer, out8, 8);
    job->record.address = address;
    job->record.data = job->buffer;
    job->record.count = count;
    job->record.read = 1;
    return RunOnWorker<MemoryCall>(job, MemoryCallProc, out8, 8);
}

int32_t CameraDevice::WriteMemory(int32_t address, const uint8_t* data, uint8_t count) {
    if (!UseWorker()) return XuWriteMemory(address, data, count);
    auto job = NewJob<MemoryCall>(baseFilter.Get(), xuNodeId);
    const uint8_t n = count > 8 ? 8 : count;
    if (n) std::memcpy(job->buffer, data, n);
    job->record.address = address;
    job->record.data = job->buffer;
    job->record.count = count;
    job->record.read = 0;
    return RunOnWorker<MemoryCall>(job, MemoryCallProc, nullptr, 0);
}

int32_t CameraDevice::ReadBlock(int32_t /*address*/, uint8_t* out, uint8_t count) {
    if (!UseWorker()) return XuReadBlock(out, count);
    auto job = NewJob<MemoryCall>(baseFilter.Get(), xuNodeId);
    // An absent buffer or a bad count is refused by the primitive, as on the direct path.
    const size_t n = (out && count <= 64) ? count : 0;
    if (n) std::memcpy(job->buffer, out, n);
    job->record.address = 0;
    job->record.data = out ? job->buffer : nullptr;
    job->record.count = count;
    job->record.read = 1;
    return RunOnWorker<MemoryCall>(job, BlockCallProc, out, n);
}

int32_t CameraDevice::WriteBlock(int32_t /*address*/, const uint8_t* data, uint8_t count) {
    if (!UseWorker()) return XuWriteBlock(data, count);
    auto job = NewJob<MemoryCall>(baseFilter.Get(), xuNodeId);
    const size_t n = (data && count <= 64) ? count : 0;
    if (n) std::memcpy(job->buffer, data, n);
    job->record.address = 0;
    job->record.data = data ? job->buffer : nullptr;
    job->record.count = count;
    job->record.read = 0;
    return RunOnWorker<MemoryCall>(job, BlockCallProc, nullptr, 0);
}

}  // namespace quillon
