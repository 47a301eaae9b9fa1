#pragma once

// A real file system that counts a run's steps and can hold one kind of step until released,
// so that a test can act while a run stands at a chosen point (a stop while copies are under
// way, a window event while the next run is starting).

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/proxy_file_system.h"

namespace nandell::testing {

class GatedFileSystem : public ProxyFileSystem {
 public:
  enum Step { kList, kOpen, kCopy, kPlace, kRemove, kStepCount };

  // Calls of `step` from now on wait until Release.
  void Hold(Step step) { HoldFrom(step, 1); }
  // Calls of `step` from its `call`-th on (counting from 1, the calls made so far included)
  // wait until Release: the calls before it go through (also those waiting now).
  void HoldFrom(Step step, int call) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_from_[step] = call;
    changed_.notify_all();
  }
  // Lets every held call go on; later calls no longer wait.
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int& from : held_from_) from = 0;
    changed_.notify_all();
  }
  int Calls(Step step) {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_[step];
  }
  // Waits until `step` has been called `count` times; false after 30 seconds without.
  bool AwaitCalls(Step step, int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return calls_[step] >= count; });
  }
  // The thread of every PlaceNoReplace call, in order.
  std::vector<std::thread::id> PlaceThreads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return place_threads_;
  }

  std::unique_ptr<fs::FolderListing> ListFolder(const fs::Folder& folder, int* error) override {
    Enter(kList);
    return ProxyFileSystem::ListFolder(folder, error);
  }
  FILE* OpenForReading(const fs::FileAt& file) override {
    Enter(kOpen);
    return ProxyFileSystem::OpenForReading(file);
  }
  int CopyToTemporary(fs::SourceFile& source, const fs::Folder& folder, bool keep_owner,
                      fs::Copied* copy) override {
    Enter(kCopy);
    return ProxyFileSystem::CopyToTemporary(source, folder, keep_owner, copy);
  }
  int PlaceNoReplace(const fs::FileAt& from, const fs::FileAt& to) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      place_threads_.push_back(std::this_thread::get_id());
    }
    Enter(kPlace);
    return ProxyFileSystem::PlaceNoReplace(from, to);
  }
  int Remove(const fs::FileAt& file) override {
    Enter(kRemove);
    return ProxyFileSystem::Remove(file);
  }

 private:
  void Enter(Step step) {
    std::unique_lock<std::mutex> lock(mutex_);
    const int call = ++calls_[step];
    changed_.notify_all();
    changed_.wait(lock, [&] { return held_from_[step] == 0 || call < held_from_[step]; });
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  int held_from_[kStepCount] = {};
  int calls_[kStepCount] = {};
  std::vector<std::thread::id> place_threads_;
};

}  // namespace nandell::testing
