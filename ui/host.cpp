#include "ui/host.h"

namespace ui {

bool BeginThread(Host& host, void (*start)(void*), void* argument) {
    return host.StartThread([start, argument] { start(argument); });
}

}  // namespace ui
