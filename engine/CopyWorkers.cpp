#include "engine/CopyWorkers.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace corvane {

void tFreeBuffer::operator()(char* buffer) const {
    std::free(buffer);
}

tCopyBuffer AllocateCopyBuffer(std::size_t size) {
    constexpr std::size_t kPage = 4096;
    const std::size_t rounded = (std::max<std::size_t>(size, 1) + kPage - 1) / kPage * kPage;
    void* buffer = std::aligned_alloc(kPage, rounded);
    if (!buffer) throw std::bad_alloc();
    return tCopyBuffer(static_cast<char*>(buffer));
}

bool tWorkerTask::Finished() const {
    const tState state = State();
    return state == tState::Done || state == tState::Dropped;
}

tCopyWorkers::tCopyWorkers(int threads, int32_t bufferSize)
    : bufferSize_(std::max<int32_t>(bufferSize, 1)) {
    threads = std::clamp(threads, 1, 16);
    threads_.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i)
        threads_.emplace_back([this] { Work(); });
}

tCopyWorkers::~tCopyWorkers() {
    DropQueued();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void tCopyWorkers::Submit(std::shared_ptr<tWorkerTask> task) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(task));
        // Idle workers are woken for a batch of tasks, or when the submitter waits.
        wake = idle_ > 0 && queue_.size() >= kBatch;
    }
    if (wake) queued_.notify_all();
}

bool tCopyWorkers::WaitFor(const tWorkerTask& task, std::chrono::milliseconds timeout) {
    if (task.Finished()) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    if (idle_ > 0 && !queue_.empty()) queued_.notify_all();
    awaited_ = &task;
    const bool finished = finished_.wait_for(lock, timeout, [&] { return task.Finished(); });
    awaited_ = nullptr;
    return finished;
}

void tCopyWorkers::DropQueued() {
    std::deque<std::shared_ptr<tWorkerTask>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dropped.swap(queue_);
        for (const auto& task : dropped)
            task->state_.store(tWorkerTask::tState::Dropped, std::memory_order_release);
    }
    finished_.notify_all();
}

void tCopyWorkers::Work() {
    tCopyBuffer buffer;
    for (;;) {
        std::shared_ptr<tWorkerTask> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ++idle_;
            queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            --idle_;
            if (queue_.empty()) return;
            task = std::move(queue_.front());
            queue_.pop_front();
            task->state_.store(tWorkerTask::tState::Running, std::memory_order_release);
        }
        if (!buffer) buffer = AllocateCopyBuffer(static_cast<std::size_t>(bufferSize_));
        task->Run(buffer.get(), bufferSize_);
        bool wake = false;
        {
            // Under the lock, so that a waiter cannot miss the change between its test and
            // its sleep.
            std::lock_guard<std::mutex> lock(mutex_);
            task->state_.store(tWorkerTask::tState::Done, std::memory_order_release);
            wake = awaited_ == task.get();
        }
        if (wake) finished_.notify_all();
    }
}

} // namespace corvane
