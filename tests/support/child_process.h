// Runs a piece of a test in a child process, so that it starts from a fresh load of the library, and
// brings back the text it reports. The child is stopped after a minute at the latest.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <functional>
#include <string>

namespace sd::testing {

struct ChildOutcome {
  std::string report;  // what the body returned, or "EXCEPTION: ..." when it threw
  int exit_code = -1;  // 0 when the body returned; -1 when the child died
};

inline ChildOutcome RunInChild(const std::function<std::string()>& body, unsigned limit_seconds = 60) {
  int fds[2];
  if (::pipe(fds) != 0) return {"pipe failed", -1};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::alarm(limit_seconds);
    std::string report;
    int code = 0;
    try {
      report = body();
    } catch (const std::exception& e) {
      report = std::string("EXCEPTION: ") + e.what();
      code = 3;
    }
    std::size_t done = 0;
    while (done < report.size()) {
      const ssize_t n = ::write(fds[1], report.data() + done, report.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(fds[1]);
    // exit() rather than _exit(): the library's unload and the sanitizers' checks run in the child too.
    std::exit(code);
  }
  ::close(fds[1]);
  ChildOutcome outcome;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) outcome.report.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

}  // namespace sd::testing
