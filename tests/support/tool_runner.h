// Runs a program as a user would and keeps what it printed and how it ended,
// for the suites of the command-line tools.
#ifndef MCJOBS_TESTS_SUPPORT_TOOL_RUNNER_H
#define MCJOBS_TESTS_SUPPORT_TOOL_RUNNER_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace testtools {

struct RunResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the program
  std::string out;
  std::string err;
};

struct RunOptions {
  std::string input;             // fed to stdin, which then ends
  std::string workingDirectory;  // empty: the test's own
  rlim_t fileSizeLimit = 0;      // caps the size of the files written (SIGXFSZ ignored); 0: none
  // stdout is a pipe whose reader has gone (`| head` once head is done); `out` stays empty.
  bool stdoutReaderGone = false;
};

namespace runner_internal {

// Both ends close on exec, so that a child keeps only the ends it put on 0, 1 and 2.
struct Pipe {
  int read = -1;
  int write = -1;
  bool open() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    read = ends[0];
    write = ends[1];
    return true;
  }
};

inline void closeEnd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Between fork and exec: only async-signal-safe calls.
[[noreturn]] inline void becomeProgram(char* const* argv, const RunOptions& options, int in,
                                       int out, int err) {
  ::dup2(in, STDIN_FILENO);
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  ::signal(SIGPIPE, SIG_DFL);  // the parent ignores it while it feeds stdin
  if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) {
    static const char message[] = "tool runner: cannot enter the working directory\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(127);
  }
  if (options.fileSizeLimit != 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit { options.fileSizeLimit, options.fileSizeLimit };
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ::execv(argv[0], argv);
  ::_exit(127);
}

// Feeds `input` to `in` and drains `out` and `err` at the same time, so that
// neither side waits on a full pipe: `in` does not block, so that a write
// takes only what the pipe has room for.
inline void exchange(const std::string& input, int& in, int& out, int& err, RunResult& result) {
  size_t fed = 0;
  if (input.empty()) closeEnd(in);
  if (in >= 0) ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) | O_NONBLOCK);
  while (in >= 0 || out >= 0 || err >= 0) {
    pollfd fds[3] = {{in, POLLOUT, 0}, {out, POLLIN, 0}, {err, POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (in >= 0 && fds[0].revents != 0) {
      const ssize_t count = ::write(in, input.data() + fed, input.size() - fed);
      if (count > 0) fed += static_cast<size_t>(count);
      const bool stoppedReading = count < 0 && errno != EAGAIN && errno != EINTR;  // EPIPE
      if (stoppedReading || fed == input.size()) closeEnd(in);
    }
    int* sources[2] = {&out, &err};
    std::string* sinks[2] = {&result.out, &result.err};
    for (int i = 0; i < 2; ++i) {
      if (*sources[i] < 0 || fds[i + 1].revents == 0) continue;
      char buffer[4096];
      const ssize_t count = ::read(*sources[i], buffer, sizeof buffer);
      if (count > 0)
        sinks[i]->append(buffer, static_cast<size_t>(count));
      else
        closeEnd(*sources[i]);
    }
  }
  closeEnd(in);
  closeEnd(out);
  closeEnd(err);
}

}  // namespace runner_internal

/// Runs `argv` (argv[0] is the program's path) and waits for it to end.
inline RunResult runProgram(const std::vector<std::string>& argv, const RunOptions& options = {}) {
  using namespace runner_internal;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  RunResult result;
  Pipe in, out, err;
  if (!in.open() || !out.open() || !err.open()) return result;
  if (options.stdoutReaderGone) closeEnd(out.read);
  void (*const previous)(int) = ::signal(SIGPIPE, SIG_IGN);
  const pid_t child = ::fork();
  if (child == 0) becomeProgram(args.data(), options, in.read, out.write, err.write);
  closeEnd(in.read);
  closeEnd(out.write);
  closeEnd(err.write);
  if (child > 0) exchange(options.input, in.write, out.read, err.read, result);
  closeEnd(in.write);
  closeEnd(out.read);
  closeEnd(err.read);
  ::signal(SIGPIPE, previous);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

/// Runs a shell command line, as `/bin/sh -c line`.
inline RunResult runShell(const std::string& line, const RunOptions& options = {}) {
  return runProgram({"/bin/sh", "-c", line}, options);
}

}  // namespace testtools

#endif  // MCJOBS_TESTS_SUPPORT_TOOL_RUNNER_H
