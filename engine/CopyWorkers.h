// A small pool of threads for the bodies of file copies. The threads know nothing of plans,
// windows or stored settings: they run tasks and say when each is done. The task queue and
// the tasks' states are the only state shared with the thread that hands them out.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane {

// A copy buffer on page boundaries: the kernel copies into and out of such buffers at full
// speed (a buffer that starts inside a page halves the speed of large reads and writes).
struct tFreeBuffer {
    void operator()(char* buffer) const;
};
using tCopyBuffer = std::unique_ptr<char[], tFreeBuffer>;
tCopyBuffer AllocateCopyBuffer(std::size_t size);

// One piece of work for a worker. Run gets the worker's own buffer.
class tWorkerTask {
public:
    enum class tState { Queued, Running, Done, Dropped };

    virtual ~tWorkerTask() = default;
    virtual void Run(char* buffer, int32_t bufferSize) = 0;

    // Done or Dropped: Run has returned or never will run.
    bool Finished() const;
    tState State() const { return state_.load(std::memory_order_acquire); }

private:
    friend class tCopyWorkers;
    std::atomic<tState> state_{tState::Queued};
};

class tCopyWorkers {
public:
    // threads workers, each with a buffer of bufferSize bytes (allocated when it starts).
    tCopyWorkers(int threads, int32_t bufferSize);
    // Drops what is still queued and waits for the tasks under way.
    ~tCopyWorkers();
    tCopyWorkers(const tCopyWorkers&) = delete;
    tCopyWorkers& operator=(const tCopyWorkers&) = delete;

    int Threads() const { return static_cast<int>(threads_.size()); }

    // Queues task. Idle workers start on it once a few tasks wait, or when WaitFor is called.
    void Submit(std::shared_ptr<tWorkerTask> task);
    // Waits until task is finished, at most timeout; true when it is.
    bool WaitFor(const tWorkerTask& task, std::chrono::milliseconds timeout);
    // Tasks not yet started never start: they become Dropped.
    void DropQueued();

private:
    void Work();

    const int32_t bufferSize_;
    std::mutex mutex_;
    std::condition_variable queued_, finished_;
    std::deque<std::shared_ptr<tWorkerTask>> queue_;
    bool stopping_ = false;
    // Wake-ups cost more than small copies: a worker is woken only when one is idle, and the
    // waiting thread only when the task it waits for is done.
    int idle_ = 0;
    static constexpr std::size_t kBatch = 8;
    const tWorkerTask* awaited_ = nullptr;
    std::vector<std::thread> threads_;
};

} // namespace corvane
