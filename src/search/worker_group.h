#pragma once

#include <exception>
#include <thread>
#include <vector>

namespace velkaron {

// The short-lived workers of one search call. Every worker started is joined before the call
// leaves, whether it returns or throws, so no thread outlives the call's working state. An
// exception thrown inside a worker is carried back and rethrown on the calling thread.
class WorkerGroup {
public:
    explicit WorkerGroup(std::size_t count) {
        threads.reserve(count);
        errors.resize(count);
    }
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;
    ~WorkerGroup() { join_all(); }

    // Starts `work(index)` on a new thread; throws std::system_error if the thread cannot be
    // started (the workers already running are joined by the destructor).
    template <typename Work>
    void start(Work work) {
        const std::size_t index = threads.size();
        threads.emplace_back([this, index, work = std::move(work)]() mutable {
            try {
                work(index);
            } catch (...) {
                errors[index] = std::current_exception();
            }
        });
    }

    std::size_t size() const { return threads.size(); }

    void join(std::size_t index) {
        if (threads[index].joinable()) threads[index].join();
    }

    void join_all() {
        for (std::thread& thread : threads) {
            if (thread.joinable()) thread.join();
        }
    }

    // After join_all: rethrows the first worker's failure, if any.
    void rethrow_failure() const {
        for (const std::exception_ptr& error : errors) {
            if (error) std::rethrow_exception(error);
        }
    }

private:
    std::vector<std::thread> threads;
    std::vector<std::exception_ptr> errors;
};

}  // namespace velkaron
