#pragma once

// A run observer for tests, which records every event of a run in order, and a run to its end.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/organizer.h"
#include "engine/run_events.h"

namespace nandell {

// Records everything the run reports, in order.
class RecordingObserver : public RunObserver {
 public:
  void OnFileDone(const FileEvent& event) override {
    std::lock_guard<std::mutex> lock(mutex);
    events.push_back("file");
    files.push_back(event);
    if (on_file) on_file(event);
  }
  void OnRunEnded(const RunEndEvent& event) override {
    std::lock_guard<std::mutex> lock(mutex);
    events.push_back("ended");
    report = event;
  }
  // Messages of the files, in order.
  std::vector<std::string> FileMessages() const {
    std::vector<std::string> out;
    for (const auto& f : files) out.push_back(f.message);
    return out;
  }

  std::mutex mutex;
  std::vector<std::string> events;
  std::vector<FileEvent> files;
  RunEndEvent report;
  std::function<void(const FileEvent&)> on_file;
};

// Runs `config` to its end through `disk`, reporting to `sink`; returns the refusal text
// (empty when the run took place).
inline std::string RunToEnd(const RunConfig& config, RecordingObserver* sink,
                            fs::FileSystem& disk = fs::RealFileSystem()) {
  OrganizerJob job(*sink, disk);
  const std::string refusal = job.OnOrganize(config);
  job.Wait();
  return refusal;
}

}  // namespace nandell
