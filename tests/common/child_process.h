// A body run in a child process and the int it returned: a body that may crash, block or grow
// without end cannot take the test program with it. Header only.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace pvk::testing {

constexpr int kChildCrashed = -1000;
constexpr int kChildTimedOut = -1001;

// Runs prepare (false: the child gives up) then body in a child process; the int body returned,
// kChildCrashed when the child did not end normally, kChildTimedOut when it was still running
// after deadlineSeconds (0: no deadline).
inline int inChild(const std::function<bool()>& prepare, const std::function<int()>& body,
                   unsigned deadlineSeconds = 0) {
  int fds[2];
  if (::pipe(fds) != 0) return kChildCrashed;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return kChildCrashed;
  if (pid == 0) {
    ::close(fds[0]);
    ::signal(SIGALRM, SIG_DFL);
    ::alarm(deadlineSeconds);
    int r = kChildCrashed;
    if (prepare()) r = body();
    const ssize_t n = ::write(fds[1], &r, sizeof r);
    ::_exit(n == sizeof r ? 0 : 1);
  }
  ::close(fds[1]);
  int r = kChildCrashed;
  if (::read(fds[0], &r, sizeof r) != sizeof r) r = kChildCrashed;
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) return kChildTimedOut;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return kChildCrashed;
  return r;
}

// The body in a child that is stopped after deadlineSeconds: a call that should return at once
// and blocks gives kChildTimedOut instead of a test that never ends.
inline int withDeadline(unsigned deadlineSeconds, const std::function<int()>& body) {
  return inChild([] { return true; }, body, deadlineSeconds);
}

}  // namespace pvk::testing
