#pragma once

// A file system that forwards every step to another one (the operating system's by default), so
// that a test derives from it and overrides only the step it makes fail, wait or count.

#include <gtest/gtest.h>

#include <string>

#include "platform/file_system.h"
#include "platform/path.h"

namespace nandell::testing {

/// The file at `path`, named relative to its folder, which the operating system's file system
/// opens (a test fails when it cannot).
inline fs::FileAt At(const std::string& path) {
  const size_t slash = LastSeparator(path);
  fs::FolderRef folder;
  EXPECT_EQ(fs::RealFileSystem().OpenFolder(path.substr(0, slash + 1), &folder), 0) << path;
  return {folder, path.substr(slash + 1)};
}

class ProxyFileSystem : public fs::FileSystem {
 public:
  explicit ProxyFileSystem(fs::FileSystem& base = fs::RealFileSystem()) : base_(base) {}

  bool Exists(const std::string& path) override { return base_.Exists(path); }
  std::string ResolvedFolder(const std::string& folder) override {
    return base_.ResolvedFolder(folder);
  }
  int OpenFolder(const std::string& path, fs::FolderRef* folder) override {
    return base_.OpenFolder(path, folder);
  }
  int OpenSubfolder(const fs::Folder& parent, const std::string& name,
                    fs::FolderRef* folder) override {
    return base_.OpenSubfolder(parent, name, folder);
  }
  std::unique_ptr<fs::FolderListing> ListFolder(const fs::Folder& folder, int* error) override {
    return base_.ListFolder(folder, error);
  }
  FILE* OpenForReading(const fs::FileAt& file) override { return base_.OpenForReading(file); }
  int OpenTargetFolder(const fs::Folder& base, const std::string& relative, bool* made,
                       fs::FolderRef* folder) override {
    return base_.OpenTargetFolder(base, relative, made, folder);
  }
  bool FoldersStayInPlace() const override { return base_.FoldersStayInPlace(); }
  int CheckNameFree(const fs::Folder& base, const std::string& relative) override {
    return base_.CheckNameFree(base, relative);
  }
  int CheckTargetFolder(const fs::Folder& base, const std::string& relative, int* add_error,
                        uint64_t* device) override {
    return base_.CheckTargetFolder(base, relative, add_error, device);
  }
  void RemoveLeftovers(const fs::Folder& folder) override { base_.RemoveLeftovers(folder); }
  int OpenSource(const fs::FileAt& file, bool lock,
                 std::unique_ptr<fs::SourceFile>* source) override {
    return base_.OpenSource(file, lock, source);
  }
  int TakeStamp(fs::SourceFile& source) override { return base_.TakeStamp(source); }
  bool Unchanged(const fs::SourceFile& source) override { return base_.Unchanged(source); }
  int CopyToTemporary(fs::SourceFile& source, const fs::Folder& folder, bool keep_owner,
                      fs::Copied* copy) override {
    return base_.CopyToTemporary(source, folder, keep_owner, copy);
  }
  int PlaceNoReplace(const fs::FileAt& from, const fs::FileAt& to) override {
    return base_.PlaceNoReplace(from, to);
  }
  int Remove(const fs::FileAt& file) override { return base_.Remove(file); }
  bool SameContent(fs::SourceFile& source, const fs::FileAt& copy) override {
    return base_.SameContent(source, copy);
  }
  void FlushFolder(const fs::Folder& folder, int above) override {
    base_.FlushFolder(folder, above);
  }
  int RemoveSource(fs::SourceFile& source, const fs::FileAt& file) override {
    return base_.RemoveSource(source, file);
  }
  bool IsLeftover(const fs::FileAt& file) override { return base_.IsLeftover(file); }
  int Examine(const fs::FileAt& file, fs::FileFacts* facts) override {
    return base_.Examine(file, facts);
  }
  int IdentifyFolder(const fs::Folder& folder, uint64_t* device, uint64_t* inode) override {
    return base_.IdentifyFolder(folder, device, inode);
  }
  int ReadInPieces(const fs::FileAt& file, int64_t limit,
                   const std::function<void(std::string_view)>& piece,
                   OpenFileFacts* facts) override {
    return base_.ReadInPieces(file, limit, piece, facts);
  }
  int RemoveFolder(const fs::FileAt& folder) override { return base_.RemoveFolder(folder); }
  int OpenLocked(const fs::FileAt& at, bool create_new,
                 std::unique_ptr<AppendFile>* file) override {
    return base_.OpenLocked(at, create_new, file);
  }
  bool MakeFolders(const std::string& path) override { return base_.MakeFolders(path); }
  int ReplaceWholeFileWith(
      const std::string& path,
      const std::function<void(const std::function<bool(std::string_view)>& write)>& content)
      override {
    return base_.ReplaceWholeFileWith(path, content);
  }

 private:
  fs::FileSystem& base_;
};

}  // namespace nandell::testing
