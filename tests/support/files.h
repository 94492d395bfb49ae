// Scratch files and directories for the suites that read and write files.
#ifndef MCJOBS_TESTS_SUPPORT_FILES_H
#define MCJOBS_TESTS_SUPPORT_FILES_H

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testfiles {

inline void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline bool exists(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0;
}

inline std::vector<std::string> listDirectory(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(path.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  return names;
}

/// Removes `path` with everything below it; links are removed, not followed.
inline void removeTree(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    for (const std::string& name : listDirectory(path)) removeTree(path + "/" + name);
    ::rmdir(path.c_str());
  } else {
    ::unlink(path.c_str());
  }
}

/// A fresh directory under TMPDIR, removed with all it holds at destruction.
class ScratchDir {
 public:
  ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/mcjobs-test-XXXXXX";
    if (::mkdtemp(&pattern[0]) != nullptr) mPath = pattern;
  }
  ~ScratchDir() {
    if (!mPath.empty()) removeTree(mPath);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return mPath; }
  std::string file(const std::string& name) const { return mPath + "/" + name; }
  std::string write(const std::string& name, const std::string& content) const {
    writeFile(file(name), content);
    return file(name);
  }

 private:
  std::string mPath;
};

/// Makes a directory refuse new entries while it lives. Root ignores mode bits,
/// so for root the directory is made immutable instead; `ok()` is false when
/// neither works here.
class LockedDir {
 public:
  explicit LockedDir(const std::string& path) : mPath(path) {
    if (::geteuid() != 0) {
      mOk = ::chmod(path.c_str(), 0555) == 0;
      return;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      mImmutable = mOk = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
  }
  ~LockedDir() {
    if (!mOk) return;
    if (!mImmutable) {
      ::chmod(mPath.c_str(), 0700);
      return;
    }
    const int fd = ::open(mPath.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) ::close(fd);
  }
  LockedDir(const LockedDir&) = delete;
  LockedDir& operator=(const LockedDir&) = delete;

  bool ok() const { return mOk; }

 private:
  std::string mPath;
  bool mOk = false;
  bool mImmutable = false;
};

}  // namespace testfiles

#endif  // MCJOBS_TESTS_SUPPORT_FILES_H
