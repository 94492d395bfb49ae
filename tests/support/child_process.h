// Faults that would end the test process (a file-size limit, a signal) are
// made in a child process instead.
#ifndef MCJOBS_TESTS_SUPPORT_CHILD_PROCESS_H
#define MCJOBS_TESTS_SUPPORT_CHILD_PROCESS_H

#include <sys/wait.h>
#include <unistd.h>

namespace testtools {

/// Runs `body` in a child process; its exit status (-1 when killed, 99 when it threw).
template <typename Body>
int inChild(Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int status = 0;
    try {
      status = body();
    } catch (...) {
      status = 99;
    }
    _exit(status);
  }
  int raw = 0;
  waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace testtools

#endif  // MCJOBS_TESTS_SUPPORT_CHILD_PROCESS_H
