// The simulated systems the benchmarks run on, built in code (no files: the
// flash lives in memory, the clock is virtual, no trace is written), and the
// device opening that the library's enumeration does for one camera.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "camlib/camera_device.h"
#include "sim/simulator.h"

namespace quillon_bench {

// The two transfer paths of a burn.
enum class Path {
    kMemory,  // 8-byte memory exchanges: chip 0x85, ROM QMCF0
    kBlock,   // 64-byte block exchanges: chip 0x88, ROM QMCT0
};

const char* PathName(Path path);

// How long a chip erase keeps the flash busy, on the virtual clock.
inline constexpr uint32_t kEraseMs = 200;
// How long an exchange of a camera that stopped answering hangs.
inline constexpr uint32_t kHangMs = 5000;

// A camera of `path`'s kind, named after `index`.
sim::CameraConfig CameraOf(Path path, size_t index);

// A system of `count` cameras of `path`'s kind on the virtual clock; aborts
// with the loader's message when it cannot be built.
std::shared_ptr<sim::Simulator> MakeSystem(Path path, size_t count);

// Opens the camera at `index` of the current backend's list as the enumeration
// does (bind, extension-unit node, chip ID, chip profile); aborts on failure.
std::unique_ptr<quillon::CameraDevice> OpenCamera(size_t index);

}  // namespace quillon_bench
