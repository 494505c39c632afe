#include "platform/linux/open_by.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace nuvra {

void* openBy(std::function<void*()> open, std::function<void(void*)> close,
             std::chrono::steady_clock::time_point deadline) {
    struct Attempt {
        std::mutex lock;
        std::condition_variable finished;
        void* opened = nullptr;
        bool done = false;
        bool abandoned = false;
    };
    auto attempt = std::make_shared<Attempt>();
    std::thread opener;
    try {
        opener = std::thread([attempt, open = std::move(open), close = std::move(close)] {
            void* opened = open();
            std::lock_guard<std::mutex> hold(attempt->lock);
            if (attempt->abandoned && opened != nullptr) {
                close(opened);
                opened = nullptr;
            }
            attempt->opened = opened;
            attempt->done = true;
            attempt->finished.notify_one();
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    std::unique_lock<std::mutex> hold(attempt->lock);
    if (!attempt->finished.wait_until(hold, deadline, [&] { return attempt->done; })) {
        attempt->abandoned = true;
        opener.detach();
        return nullptr;
    }
    hold.unlock();
    // Done: the thread only has to return. Joined, it cannot still be
    // running (its stack and thread storage still held) when the process
    // ends.
    opener.join();
    return attempt->opened;
}

}  // namespace nuvra
