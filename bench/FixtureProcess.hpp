#pragma once
// A fixture application a desktop benchmark reads, running for the whole benchmark and ending
// with it: the fixture quits when its input ends, and only the benchmark holds that pipe open.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace halcy::bench {

class FixtureProcess {
 public:
  // Runs `python3 <script> <arguments...>` with its output discarded.
  FixtureProcess(const char* script, std::vector<std::string> arguments) {
    int input[2];
    if (pipe(input) != 0) return;
    std::vector<char*> argv{const_cast<char*>("python3"), const_cast<char*>(script)};
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(input[0], STDIN_FILENO);
      close(input[0]);
      close(input[1]);
      if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
      execv("/usr/bin/python3", argv.data());
      _exit(127);
    }
    close(input[0]);
    keepOpen_ = input[1];
  }
  ~FixtureProcess() {
    if (keepOpen_ >= 0) close(keepOpen_);
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  FixtureProcess(const FixtureProcess&) = delete;
  FixtureProcess& operator=(const FixtureProcess&) = delete;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int keepOpen_ = -1;
};

}  // namespace halcy::bench
