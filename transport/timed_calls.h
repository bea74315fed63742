// Device calls that run either on the caller's thread or on a worker thread of
// their own with a time limit, so that a camera that stops answering cannot
// block its caller forever.
#pragma once

#include <cstddef>
#include <cstdint>

#include "camlib/camera_device.h"

namespace quillon {

// Parameter records handed to the workers. A worker never sees the device
// itself, only the target of its requests (with a filter reference of its own),
// and its data pointer points into storage the worker co-owns: a worker
// abandoned after the time limit can finish late without touching anything
// its caller has moved on from.
struct RegisterCall {
    uint16_t reg;
    uint8_t* data;
    XuTarget device;
    int32_t read;
};
struct RomCall {
    uint16_t address;
    uint8_t* output;
    XuTarget device;
};
struct MemoryTypeCall {
    uint8_t* output;
    XuTarget device;
};
struct MemoryCall {
    int32_t address;
    uint8_t* data;
    uint8_t count;
    XuTarget device;
    int32_t read;
};

// Worker procedures: 1 when the primitive returned 0, else 0.
uint32_t RegisterCallProc(RegisterCall& call);
uint32_t RomCallProc(RomCall& call);
uint32_t MemoryTypeCallProc(MemoryTypeCall& call);
uint32_t MemoryCallProc(MemoryCall& call);
uint32_t BlockCallProc(MemoryCall& call);

// Workers that have been started and have not ended yet, abandoned ones included.
size_t LiveTimedWorkers();
// Blocks until every worker started so far has ended (tests, orderly shutdown).
void WaitForTimedWorkers();

}  // namespace quillon
