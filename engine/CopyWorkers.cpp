#include "engine/CopyWorkers.h"

#include <algorithm>

namespace corvane {

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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(task));
    }
    queued_.notify_one();
}

bool tCopyWorkers::WaitFor(const tWorkerTask& task, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return finished_.wait_for(lock, timeout, [&] { return task.Finished(); });
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
    std::unique_ptr<char[]> buffer;
    for (;;) {
        std::shared_ptr<tWorkerTask> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            task = std::move(queue_.front());
            queue_.pop_front();
            task->state_.store(tWorkerTask::tState::Running, std::memory_order_release);
        }
        if (!buffer) buffer.reset(new char[static_cast<std::size_t>(bufferSize_)]);
        task->Run(buffer.get(), bufferSize_);
        {
            // Under the lock, so that a waiter cannot miss the change between its test and
            // its sleep.
            std::lock_guard<std::mutex> lock(mutex_);
            task->state_.store(tWorkerTask::tState::Done, std::memory_order_release);
        }
        finished_.notify_all();
    }
}

} // namespace corvane
