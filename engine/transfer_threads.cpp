#include "engine/transfer_threads.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "engine/placement.h"

namespace nandell {

TransferThreads::TransferThreads(fs::FileSystem& file_system, int count,
                                 const std::atomic<bool>& running)
    : file_system_(file_system), running_(running) {
  for (int i = 0; i < count; ++i) {
    try {
      threads_.emplace_back([this] { Serve(); });
    } catch (const std::system_error&) {
      break;
    }
  }
}

TransferThreads::~TransferThreads() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  work_ready_.notify_all();
  for (auto& thread : threads_) thread.join();
}

void TransferThreads::Queue(std::shared_ptr<Transfer> transfer) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    transfer->state = Transfer::State::kQueued;
    queue_.push_back(std::move(transfer));
  }
  work_ready_.notify_one();
}

bool TransferThreads::IsSettled(const Transfer& transfer) {
  std::lock_guard<std::mutex> lock(mutex_);
  return transfer.state == Transfer::State::kDone || transfer.state == Transfer::State::kDropped;
}

bool TransferThreads::WaitFor(Transfer& transfer) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (transfer.state == Transfer::State::kDone) return true;
    if (transfer.state == Transfer::State::kDropped) return false;
    if (transfer.state == Transfer::State::kQueued && !running_.load()) {
      auto it = std::find_if(queue_.begin(), queue_.end(),
                             [&](const auto& queued) { return queued.get() == &transfer; });
      if (it != queue_.end()) queue_.erase(it);
      transfer.state = Transfer::State::kDropped;
      return false;
    }
    // A stop only stores into an atomic (it may come from a signal handler) and wakes
    // nobody: the wait looks at it again now and then.
    done_.wait_for(lock, std::chrono::milliseconds(20));
  }
}

void TransferThreads::Serve() {
  for (;;) {
    std::shared_ptr<Transfer> transfer;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_ready_.wait(lock, [&] { return closing_ || (!queue_.empty() && running_.load()); });
      if (closing_) return;
      transfer = std::move(queue_.front());
      queue_.pop_front();
      transfer->state = Transfer::State::kRunning;
    }
    // The transfer is this thread's alone while it runs; the worker reads it once done.
    CarryOut(file_system_, transfer.get());
    {
      std::lock_guard<std::mutex> lock(mutex_);
      transfer->state = Transfer::State::kDone;
    }
    done_.notify_all();
  }
}

}  // namespace nandell
