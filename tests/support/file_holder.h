// Another program holding a file: a child process opens it and takes a
// flock on it (shared, as a reader does, or exclusive), says so through a
// pipe and keeps it until release() or the end of the scope. Made before
// any context of the test where it can be, so that the child inherits none
// of its files. Header-only, POSIX only.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace tq_test {

class FileHolder {
 public:
  FileHolder(const std::filesystem::path& file, int how) {
    int ready[2];
    int go[2];
    if (pipe(ready) != 0) return;
    if (pipe(go) != 0) {
      close(ready[0]);
      close(ready[1]);
      return;
    }
    const std::string path = file.string();
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      close(go[1]);
      int fd = open(path.c_str(), O_RDONLY);
      char ok = fd >= 0 && flock(fd, how | LOCK_NB) == 0 ? 1 : 0;
      if (write(ready[1], &ok, 1) != 1) _exit(1);
      char end = 0;
      (void)read(go[0], &end, 1);  // returns once the parent closes its end
      _exit(0);
    }
    close(ready[1]);
    close(go[0]);
    go_ = go[1];
    char ok = 0;
    held_ = pid_ > 0 && read(ready[0], &ok, 1) == 1 && ok == 1;
    close(ready[0]);
  }
  ~FileHolder() { release(); }
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;
  bool held() const { return held_; }
  void release() {
    if (go_ < 0) return;
    close(go_);
    go_ = -1;
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
  bool held_ = false;
};

}  // namespace tq_test
