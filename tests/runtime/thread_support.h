// Shared pieces of the thread tests: a bounded wait, a worker whose progress shows whether it runs, and one that
// shows how far it got.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "vutil/runtime.h"

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
/// The host's scheduling level of a thread by its number: its nice value, or its priority.
int levelOf(uint64_t number);
/// The level that destroying a running thread that started at `start` gives it on this host.
int levelAfterDestroying(int start);

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

/// Suspends itself, waits in the library, or calls exit from some depth; the stage tells how far it got.
struct Worker {
    kor_thread *self = nullptr;
    std::atomic<int> stage{0};
    int result = 0;
    Clock::duration took{};
    static uint32_t suspendItself(void *context) {
        auto *me = static_cast<Worker *>(context);
        return me->stage = 1, KOR_SuspendThread(me->self), me->stage = 2, 0;
    }
    static uint32_t destroyRunning(void *context) {
        auto *me = static_cast<Worker *>(context);
        Counter busy;
        kor_thread *other = KOR_CreateThread(Counter::run, 0, &busy, 0);
        const auto began = (me->stage = 1, Clock::now());
        me->result = KOR_DestroyThread(other), me->took = Clock::now() - began, me->stage = 2, busy.stop = true;
        return waitUntil([&] { return KOR_DestroyThread(other) == 1; }), 0;
    }
    /// Starts the routine and suspends and resumes it over and over until it has done its part.
    void bombard(kor_thread_proc routine) {
        self = KOR_CreateThread(routine, 0, this, 0);
        for (int round = 0; stage.load() != 2 && round < 1'000'000; ++round)
            KOR_SuspendThread(self), KOR_ResumeThread(self);
        waitUntil([&] { return KOR_DestroyThread(self) == 1; });
    }
    void exitAt(int depth) {
        stage = 1, depth == 0 ? KOR_ExitThread() : exitAt(depth - 1);
        stage = 98;  // never reached
    }
    static uint32_t exitFromDepth(void *context) { return static_cast<Worker *>(context)->exitAt(5), 7; }
};

}  // namespace vutil::test
