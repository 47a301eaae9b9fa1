// `nandell-cli library` and `nandell-cli duplicates`: the index of an output folder's files,
// made or checked against the folder, its counts, and the groups of identical files in it.
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/run_console.h"
#include "library/library_index.h"
#include "platform/file.h"
#include "platform/translate.h"

namespace nandell::cli {
namespace {

// Ctrl-C stops the check against the folder; what it found so far is kept.
std::atomic<bool> g_index_running{true};

// The index of the operand's folder, made or checked against it, with its progress on a
// terminal; null with the exit code in `code` when the folder is missing or the index cannot be
// used (said on standard error).
std::unique_ptr<LibraryIndex> ReadyIndex(const Arguments& args, const std::string& command,
                                         std::string* folder, int* code) {
  *folder = ExistingFolderOperand(args);
  if (folder->empty()) {
    *code = 2;
    return nullptr;
  }
  const bool live = ErrorIsLiveTerminal();
  std::unique_ptr<LibraryIndex> index;
  {
    InterruptClears interrupt(g_index_running);
    index = LibraryIndex::Open(
        fs::RealFileSystem(), *folder, IndexUse::kSkipKnown, g_index_running,
        [&](const IndexProgress& progress) { PrintIndexProgress(progress, live, command); });
  }
  *code = index ? 0 : 1;
  return index;
}

}  // namespace

int RunLibrary(const Arguments& args) {
  std::string folder;
  int code = 0;
  std::unique_ptr<LibraryIndex> index = ReadyIndex(args, "library", &folder, &code);
  if (!index) return code;
  const LibraryCounts counts = index->Counts();
  std::printf("%s\n", TrFormat("照片库索引: %s", index->Path().c_str()).c_str());
  std::printf("%s\n",
              TrFormat("文件 %lld 个, 共 %lld 字节, 已读取内容 %lld 个",
                       static_cast<long long>(counts.files), static_cast<long long>(counts.bytes),
                       static_cast<long long>(counts.read))
                  .c_str());
  std::printf(
      "%s\n",
      TrFormat("本次新增 %lld 个, 改动 %lld 个, 移除 %lld 个", static_cast<long long>(counts.added),
               static_cast<long long>(counts.changed), static_cast<long long>(counts.removed))
          .c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int RunDuplicates(const Arguments& args) {
  std::string folder;
  int code = 0;
  std::unique_ptr<LibraryIndex> index = ReadyIndex(args, "duplicates", &folder, &code);
  if (!index) return code;
  int64_t groups = 0;
  const bool listed =
      index->ListDuplicates([&](int64_t size, const std::vector<std::string>& paths) {
        std::string text = groups++ == 0 ? "" : "\n";
        text += TrFormat("相同的文件 (%lld 字节):", static_cast<long long>(size)) + "\n";
        for (const std::string& path : paths) text += path + "\n";
        std::fputs(text.c_str(), stdout);
      });
  if (!listed) {
    std::fprintf(stderr, "nandell-cli duplicates: %s\n",
                 TrFormat("照片库索引无法读取: %s", index->Path().c_str()).c_str());
    return 1;
  }
  if (groups == 0) std::printf("%s\n", TrFormat("没有相同的文件: %s", folder.c_str()).c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace nandell::cli
