#pragma once
// A file size limit that makes writes fail, as on a full disk, for tests of what writers do then.

#include <sys/resource.h>

#include <csignal>

namespace halcy {

// Makes writes past `bytes` fail (as on a full disk) while it lives; for the whole process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : previousSignal_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousSignal_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousSignal_)(int);
};

}  // namespace halcy
