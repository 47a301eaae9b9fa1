#include "engine/organizer.h"

#include <limits.h>
#include <stdlib.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/capture_date.h"
#include "platform/fs.h"
#include "settings/settings_store.h"

namespace nandell {
namespace {

constexpr const char* kChooseFoldersText = "请先选择目录.";
constexpr const char* kSameFolderText = "照片目录和输出目录不能是同一个目录.";
constexpr const char* kNestedFolderText = "照片目录和输出目录不能在是同一个目录内.";
constexpr const char* kMissingFolderText = "目录不存在:";

// Letter case ignored for ASCII letters; UTF-8 continuation bytes are never ASCII.
bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return fs::AsciiLower(a) == fs::AsciiLower(b);
}

// The folder with symbolic links, "." and ".." resolved, ending with "/"; empty on failure.
std::string ResolvedFolder(const std::string& folder) {
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string text = resolved;
  ::free(resolved);
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

std::string TakeKey(const std::string& lower_path) {
  return lower_path.size() <= 4 ? lower_path : lower_path.substr(lower_path.size() - 4);
}

}  // namespace

// Carries out copies and moves on a few threads of its own, so that their flushes overlap.
// The worker submits transfers in walk order and takes the results back in the same order.
class TransferPipeline {
 public:
  struct Transfer {
    std::string source;
    std::string target;
    bool move = false;
    bool done = false;  // guarded by the pipeline's mutex
    bool ok = false;
  };

  // Starts up to `threads` threads. A thread the system refuses (its task limit) leaves
  // fewer transfers at once; with none started, Threads() is 0 and the pipeline must not be
  // used.
  explicit TransferPipeline(int threads) {
    for (int i = 0; i < threads; ++i) {
      try {
        threads_.emplace_back([this] { Serve(); });
      } catch (const std::system_error&) {
        break;
      }
    }
    limit_ = threads_.size();
  }

  size_t Threads() const { return threads_.size(); }

  ~TransferPipeline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    work_ready_.notify_all();
    for (auto& thread : threads_) thread.join();
  }

  // Queues a transfer. A transfer to a target still in flight waits for that one to end
  // first, so the file listed first is the one that takes the name.
  void Submit(std::shared_ptr<Transfer> transfer) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] {
      for (const auto& t : in_flight_) {
        if (!t->done && t->target == transfer->target) return false;
      }
      return true;
    });
    queue_.push_back(transfer);
    in_flight_.push_back(std::move(transfer));
    work_ready_.notify_one();
  }

  // True when as many transfers as there are threads are still unreported.
  bool Full() {
    std::lock_guard<std::mutex> lock(mutex_);
    return in_flight_.size() >= limit_;
  }

  // The oldest unreported transfer once it is done (waiting for it when `wait` is set), or
  // null when there is none or it is still running.
  std::shared_ptr<Transfer> TakeFront(bool wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (in_flight_.empty()) return nullptr;
    if (wait) done_.wait(lock, [&] { return in_flight_.front()->done; });
    if (!in_flight_.front()->done) return nullptr;
    std::shared_ptr<Transfer> front = std::move(in_flight_.front());
    in_flight_.pop_front();
    return front;
  }

 private:
  void Serve() {
    for (;;) {
      std::shared_ptr<Transfer> transfer;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_ready_.wait(lock, [&] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) return;
        transfer = std::move(queue_.front());
        queue_.pop_front();
      }
      const bool ok = transfer->move
                          ? fs::MoveNoReplace(transfer->source, transfer->target, nullptr)
                          : fs::CopyNoReplace(transfer->source, transfer->target, nullptr);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        transfer->ok = ok;
        transfer->done = true;
      }
      done_.notify_all();
    }
  }

  size_t limit_ = 0;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable done_;
  std::deque<std::shared_ptr<Transfer>> queue_;      // not yet started
  std::deque<std::shared_ptr<Transfer>> in_flight_;  // submitted, not yet reported, in order
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

std::string CheckStart(const std::string& photo_folder, const std::string& output_folder) {
  if (output_folder.empty() || photo_folder.empty()) return kChooseFoldersText;
  if (EqualIgnoringCase(photo_folder, output_folder)) return kSameFolderText;
  if (photo_folder.find(output_folder) != std::string::npos ||
      output_folder.find(photo_folder) != std::string::npos) {
    return kNestedFolderText;
  }
  if (!fs::Exists(output_folder)) return std::string(kMissingFolderText) + output_folder;
  if (!fs::Exists(photo_folder)) return std::string(kMissingFolderText) + photo_folder;
  // The texts may still name one folder, or one inside the other, in different spellings
  // (a link, "..", a doubled "/"): the resolved folders are checked the same way, so that a
  // run never walks its own output.
  const std::string photo = ResolvedFolder(photo_folder);
  const std::string output = ResolvedFolder(output_folder);
  if (!photo.empty() && !output.empty()) {
    if (photo == output) return kSameFolderText;
    if (photo.compare(0, output.size(), output) == 0 ||
        output.compare(0, photo.size(), photo) == 0) {
      return kNestedFolderText;
    }
  }
  return std::string();
}

std::string FormatSummary(const JobCounters& counters) {
  return "\r\n\r\n整理文件 " + std::to_string(counters.ProcessedCount) + " 个, 失败 " +
         std::to_string(counters.FailedCount) + " 个";
}

OrganizerJob::OrganizerJob(SettingsStore& settings, ProgressSink& sink, RunOptions options)
    : settings_(settings), sink_(sink), options_(std::move(options)) {}

OrganizerJob::~OrganizerJob() {
  OnStop();
  Wait();
}

void OrganizerJob::SetPhotoFolder(std::string folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  PhotoFolder_ = std::move(folder);
}

std::string OrganizerJob::PhotoFolder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return PhotoFolder_;
}

void OrganizerJob::SetOutputFolder(std::string folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  OutputFolder_ = std::move(folder);
}

std::string OrganizerJob::OutputFolder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return OutputFolder_;
}

void OrganizerJob::SetDeleteSource(int32_t delete_source) {
  std::lock_guard<std::mutex> lock(mutex_);
  DeleteSource_ = delete_source;
}

int32_t OrganizerJob::DeleteSource() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return DeleteSource_;
}

JobCounters OrganizerJob::Counters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_;
}

std::string OrganizerJob::LastMessage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return LastMessage_;
}

std::string OrganizerJob::FailureLog() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return FailureLog_;
}

void OrganizerJob::SetLastMessage(std::string message) {
  std::lock_guard<std::mutex> lock(mutex_);
  LastMessage_ = std::move(message);
}

std::string OrganizerJob::OnOrganize() {
  // Called from the worker itself (a sink that does not forward to another thread), a start
  // would have to wait for its own thread: refused like any start during a run.
  if (std::this_thread::get_id() == worker_id_.load()) return kRunActiveText;
  std::lock_guard<std::mutex> worker_lock(worker_mutex_);
  if (IsRunning_.load()) return kRunActiveText;
  std::string photo;
  std::string output;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    photo = PhotoFolder_;
    output = OutputFolder_;
  }
  std::string refusal = CheckStart(photo, output);
  if (!refusal.empty()) return refusal;
  // A previous worker may still be writing its failure report: it finishes before the run
  // state is reset, so the two never share FailureLog.
  if (worker_.joinable()) worker_.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    counters_ = JobCounters{};
    FailureLog_.clear();
    LastMessage_.clear();
  }
  stop_requested_.store(false);
  IsRunning_.store(true);
  worker_active_.store(true);
  try {
    worker_ = std::thread([this] {
      worker_id_.store(std::this_thread::get_id());
      OrganizerThread();
      worker_id_.store(std::thread::id());  // the id may be given to another thread later
      worker_active_.store(false);
    });
  } catch (const std::system_error&) {
    // The system refused the thread (its task limit): the job stays idle.
    IsRunning_.store(false);
    worker_active_.store(false);
    return kStartFailedText;
  }
  return std::string();
}

void OrganizerJob::OnStop() {
  if (IsRunning_.exchange(false)) stop_requested_.store(true);
}

void OrganizerJob::Wait() {
  if (std::this_thread::get_id() == worker_id_.load()) return;
  std::lock_guard<std::mutex> worker_lock(worker_mutex_);
  if (worker_.joinable()) worker_.join();
}

void OrganizerJob::OrganizerThread() {
  std::unique_ptr<TransferPipeline> pipeline;
  if (options_.parallel_transfers > 1) {
    pipeline = std::make_unique<TransferPipeline>(options_.parallel_transfers);
    if (pipeline->Threads() == 0) pipeline.reset();  // the worker transfers every file itself
  }
  pipeline_ = pipeline.get();
  ScanFolder(PhotoFolder());
  if (pipeline_ != nullptr) {
    // The transfers already begun finish and are reported, also after a stop.
    while (auto done = pipeline_->TakeFront(true)) {
      Report(done->source, done->target, done->move, done->ok);
    }
  }
  pipeline_ = nullptr;
  pipeline.reset();
  WindUp();
}

void OrganizerJob::ScanFolder(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  if (!IsRunning_.load()) return;
  fs::DirectoryListing listing(folder);
  if (!listing.Ok()) return;
  fs::DirEntry entry;
  if (!listing.Next(&entry)) return;
  for (;;) {
    const char first = entry.name.empty() ? '.' : entry.name[0];
    if (first != '.' && first != '~') {
      if (entry.kind == fs::EntryKind::kDirectory) {
        ScanFolder(folder + entry.name);
      } else if (entry.kind == fs::EntryKind::kFile) {
        HandleFile(folder, entry.name, listing);
      }
      // A link to a folder is never entered: the walk cannot loop.
    }
    if (!listing.Next(&entry)) break;
    if (!IsRunning_.load()) break;
  }
}

void OrganizerJob::HandleFile(const std::string& folder, const std::string& name,
                              const fs::DirectoryListing& listing) {
  // The path as listed is what the file operations and messages use; its lower-cased form
  // only decides the filter key (a lower-cased path may not exist on this file system).
  const std::string source = folder + name;
  const std::string key = TakeKey(fs::AsciiLower(source));
  std::string filters;
  int32_t by_year = 1;
  int32_t media_dates = 0;
  {
    std::lock_guard<std::mutex> lock(settings_.Mutex);
    filters = settings_.FileFilters;
    by_year = settings_.IsClassifyByYear;
    media_dates = settings_.MediaDates;
  }
  if (filters.find(key) == std::string::npos) return;

  std::string date = GetCaptureDate(source, media_dates != 0);
  // The lookup gives only safe dates; the run checks again before it builds a path from one.
  if (!IsSafeFolderName(date)) date.clear();

  std::string output;
  int32_t delete_source = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    output = OutputFolder_;
    delete_source = DeleteSource_;
  }
  auto last_write_day = [&listing, &name](std::string* day, std::string* year) {
    int64_t seconds = 0;
    if (!listing.LastWriteTime(name, &seconds)) {
      *day = "0000-00-00";
      *year = "0000";
      return;
    }
    fs::LocalDay(seconds, day, year);
  };

  std::string target_folder;
  if (by_year != 0) {
    std::string year_name = date.substr(0, date.find('-'));
    if (!year_name.empty()) {
      year_name += "年";
    } else {
      std::string year;
      last_write_day(&date, &year);
      year_name = year + "年";
    }
    const std::string year_folder = output + year_name + "/";
    if (!fs::Exists(year_folder)) fs::MakeDirectory(year_folder);
    target_folder = year_folder + date + "/";
  } else {
    if (date.empty()) {
      std::string year;
      last_write_day(&date, &year);
    }
    target_folder = output + date + "/";
  }

  if (!fs::Exists(target_folder)) fs::MakeDirectory(target_folder);
  const std::string target = target_folder + name;
  const bool move = delete_source != 0;

  if (pipeline_ == nullptr) {
    const bool ok = move ? fs::MoveNoReplace(source, target, nullptr)
                         : fs::CopyNoReplace(source, target, nullptr);
    Report(source, target, move, ok);
    return;
  }
  // Results are reported in walk order as they come back; at most one transfer per thread
  // is outstanding.
  while (pipeline_->Full()) {
    auto done = pipeline_->TakeFront(true);
    Report(done->source, done->target, done->move, done->ok);
  }
  auto transfer = std::make_shared<TransferPipeline::Transfer>();
  transfer->source = source;
  transfer->target = target;
  transfer->move = move;
  pipeline_->Submit(std::move(transfer));
  while (auto done = pipeline_->TakeFront(false)) {
    Report(done->source, done->target, done->move, done->ok);
  }
}

// Counts one file taken (its ordinal is the new ProcessedCount), stores its message, and
// tells the sink.
void OrganizerJob::Report(const std::string& source, const std::string& target, bool moved,
                          bool ok) {
  std::string message;
  JobSnapshot snapshot;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const int32_t ordinal = ++counters_.ProcessedCount;
    if (ok) {
      const char* done = moved ? "移动文件(" : "复制文件(";
      const char* to = moved ? "移动到: " : "复制到: ";
      message = std::string(done) + std::to_string(ordinal) + "): " + source + "\r\n\r\n" + to +
                target + "\r\n";
    } else {
      const char* failed = moved ? "移动文件失败: " : "复制文件失败: ";
      message = std::string(failed) + source + " -> " + target + "\r\n";
      ++counters_.FailedCount;
      FailureLog_ += message;
    }
    LastMessage_ = message;
    snapshot.counters = counters_;
  }
  snapshot.IsRunning = IsRunning_.load();
  snapshot.LastMessage = std::move(message);
  snapshot.file_failed = !ok;
  sink_.OnJobProgress(snapshot);
}

void OrganizerJob::WindUp() {
  RunReport report;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    report.counters = counters_;
    report.summary = FormatSummary(counters_);
    LastMessage_ = report.summary;
  }
  report.stopped = stop_requested_.load();
  IsRunning_.store(false);
  sink_.EnableOrganizeButton();
  JobSnapshot snapshot;
  snapshot.IsRunning = false;
  snapshot.counters = report.counters;
  snapshot.LastMessage = report.summary;
  snapshot.is_summary = true;
  sink_.OnJobProgress(snapshot);
  sink_.HideStopButton();
  sink_.InvalidateMessage();

  // The report works on its own copy of the failure lines.
  std::string failure_log;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (FailureLog_.size() > 1) {
      FailureLog_ += report.summary;
      failure_log = FailureLog_;
    }
  }
  if (!failure_log.empty()) {
    std::string folder = options_.failure_report_dir;
    if (folder.empty()) {
      // The per-user folder may not exist yet (the command line's store never saves).
      settings_.MakeConfigDir();
      std::lock_guard<std::mutex> lock(settings_.Mutex);
      folder = settings_.ConfigDir;
    }
    const std::string path = folder + "errorFile.txt";
    if (fs::WriteWholeFile(path, failure_log)) {
      report.error_file = path;
      if (options_.show_failure_report)
        SettingsStore::RunProgram("notepad.exe", path, 0, 1, "open");
    } else {
      report.error_file_problem = path + ": " + std::strerror(errno);
    }
  }
  sink_.OnRunEnded(report);
}

}  // namespace nandell
