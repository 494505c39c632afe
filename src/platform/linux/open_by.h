// Opening a connection through a library that can wait without a time-out.
#pragma once

#include <chrono>
#include <functional>

namespace nuvra {

// Runs `open` on a thread of its own and waits for it until `deadline`.
// libdbus connects a unix socket with a blocking connect(), which a
// listener whose queue is full holds forever, and XCB waits for the X
// server's greeting without a time-out, which a stopped server never
// sends. Past the deadline the thread is left behind, and whatever it
// opens after that is handed to `close` there. Null when `open` gave null,
// the deadline passed, or no thread could be started.
void* openBy(std::function<void*()> open, std::function<void(void*)> close,
             std::chrono::steady_clock::time_point deadline);

}  // namespace nuvra
