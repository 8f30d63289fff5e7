// Shared pieces of the thread tests: a bounded wait, and a worker whose progress shows whether it runs.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace vutil::test {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

/// Waits for done(), polling; a bound of a minute only keeps a broken build from hanging. True when done.
bool waitUntil(auto done) {
    for (auto limit = Clock::now() + 60s; Clock::now() < limit && !done();) std::this_thread::yield();
    return done();
}

/// The host's number for the calling thread (the kernel's thread id).
uint64_t currentThreadNumber();

/// A worker that counts as fast as it can until told to stop.
struct Counter {
    std::atomic<uint64_t> count{0};
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> id{0};
    static uint32_t run(void *context) {
        auto *self = static_cast<Counter *>(context);
        for (self->id = currentThreadNumber(); !self->stop.load();) self->count.fetch_add(1);
        return 0;
    }
    /// True when the count does not move while a free-running twin counts to five million: a clock
    /// that slows down with the machine.
    bool standsStill() {
        Counter twin;
        const uint64_t before = count.load();
        std::thread clock(run, &twin);
        const bool waited = waitUntil([&] { return twin.count.load() >= 5'000'000; });
        return twin.stop = true, clock.join(), waited && count.load() == before;
    }
};

}  // namespace vutil::test
