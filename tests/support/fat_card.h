#pragma once

// A FAT32 image mounted through FUSE (Debian's fusefat), as a memory card appears to the
// program: no no-replace rename, no hard links, no owners or permission bits, names compared
// without letter case. Unmounted and removed at the end.

#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/temp_tree.h"

namespace nandell::testing {

class FatCard {
 public:
  FatCard() {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
      why_ = "/dev/fuse cannot be used here";
      return;
    }
    if (std::system("{ PATH=$PATH:/sbin:/usr/sbin; command -v fusefat && command -v mkfs.vfat; } "
                    "> /dev/null 2>&1") != 0) {
      why_ = "fusefat or mkfs.vfat (Debian fusefat, dosfstools) is not installed";
      return;
    }
    const std::string image = dir_ / "card.img";
    const std::string mount = dir_ / "card";
    const std::string command = "truncate -s 64M '" + image +
                                "' && PATH=$PATH:/sbin:/usr/sbin mkfs.vfat -F 32 '" + image +
                                "' > /dev/null && mkdir '" + mount + "' && fusefat -o rw+ '" +
                                image + "' '" + mount + "' > /dev/null 2>&1";
    struct stat folder;
    struct stat card;
    if (std::system(command.c_str()) != 0 || ::stat(dir_.path().c_str(), &folder) != 0 ||
        ::stat(mount.c_str(), &card) != 0 || folder.st_dev == card.st_dev) {
      why_ = "the FAT image could not be mounted with fusefat";
      return;
    }
    path_ = mount + "/";
  }
  ~FatCard() {
    if (path_.empty()) return;
    const std::string mount = path_.substr(0, path_.size() - 1);
    const std::string command =
        "fusermount -u '" + mount + "' 2> /dev/null || umount '" + mount + "'";
    if (std::system(command.c_str()) != 0) ::umount2(mount.c_str(), MNT_DETACH);
  }
  FatCard(const FatCard&) = delete;
  FatCard& operator=(const FatCard&) = delete;

  // The mounted card's folder, ending with "/"; empty when it could not be made.
  const std::string& path() const { return path_; }
  // Why there is no card.
  const std::string& why() const { return why_; }

 private:
  TempDir dir_;
  std::string path_;
  std::string why_;
};

}  // namespace nandell::testing
