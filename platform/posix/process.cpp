// Child processes on POSIX: posix_spawn with three pipes, poll for the output, waitpid for the end.
#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace sd::platform {

namespace {

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

struct ChildProcess::Native {
  pid_t pid = -1;
  int input = -1, output = -1, errors = -1;
  std::string pending_input;
  std::size_t input_done = 0;
  int exit_code = kNoExitCode;

  ~Native() {
    CloseFd(input);
    CloseFd(output);
    CloseFd(errors);
  }
};

namespace {

// The environment of this process with the given changes.
std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& changes) {
  std::vector<std::string> entries;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (changes.count(entry.substr(0, entry.find('='))) == 0) entries.push_back(entry);
  }
  for (const auto& [name, value] : changes)
    if (!value.empty()) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Reads what is there into `text`; closes the pipe at its end.
void Drain(int& fd, std::string& text) {
  char buffer[4096];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    CloseFd(fd);
  }
}

}  // namespace

ChildProcess::ChildProcess() : native_(std::make_unique<Native>()) {}

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Started() const { return native_->pid > 0; }

bool ChildProcess::Start(const ProcessSpec& launch, std::string* error) {
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    if (error != nullptr) *error = std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);

  std::vector<std::string> args = {launch.program};
  args.insert(args.end(), launch.arguments.begin(), launch.arguments.end());
  std::vector<std::string> env = ChildEnvironment(launch.environment);
  std::vector<char*> argv = Pointers(args), envp = Pointers(env);
  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, launch.program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  for (int fd : {in[0], out[1], err[1]}) ::close(fd);
  native_->input = in[1];
  native_->output = out[0];
  native_->errors = err[0];
  if (failed != 0) {
    if (error != nullptr) *error = std::strerror(failed);
    native_ = std::make_unique<Native>();
    return false;
  }
  native_->pid = pid;
  native_->pending_input = launch.input;
  ::fcntl(native_->input, F_SETFL, ::fcntl(native_->input, F_GETFL) | O_NONBLOCK);
  if (launch.input.empty()) CloseFd(native_->input);
  return true;
}

bool ChildProcess::ReadMore(std::chrono::milliseconds limit) {
  Native& n = *native_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const std::size_t before = output_.size() + errors_.size();
  while (n.output >= 0 || n.errors >= 0) {
    pollfd fds[3] = {{n.output, POLLIN, 0}, {n.errors, POLLIN, 0}, {n.input, POLLOUT, 0}};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) break;
    const int ready = ::poll(fds, 3, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    if (fds[2].revents != 0) {
      const ssize_t written = ::write(n.input, n.pending_input.data() + n.input_done,
                                      n.pending_input.size() - n.input_done);
      if (written > 0) n.input_done += static_cast<std::size_t>(written);
      if ((written < 0 && errno != EAGAIN && errno != EINTR) || n.input_done == n.pending_input.size())
        CloseFd(n.input);
    }
    if (fds[0].revents != 0) Drain(n.output, output_);
    if (fds[1].revents != 0) Drain(n.errors, errors_);
    if (output_.size() + errors_.size() != before || (n.output < 0 && n.errors < 0)) return true;
  }
  return false;
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
  Native& n = *native_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (n.output >= 0 || n.errors >= 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !ReadMore(left)) break;
  }
  if (n.output >= 0 || n.errors >= 0) {
    Kill();
    return kNoExitCode;
  }
  // Both streams ended, so the child is ending; a child that closed them early still has the limit.
  while (n.pid > 0) {
    int status = 0;
    const pid_t done = ::waitpid(n.pid, &status, WNOHANG);
    if (done == n.pid) {
      n.pid = -1;
      n.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : kNoExitCode;
    } else if (done < 0 && errno != EINTR) {
      n.pid = -1;
    } else if (std::chrono::steady_clock::now() >= deadline) {
      Kill();
      return kNoExitCode;
    } else {
      ::usleep(2000);
    }
  }
  return n.exit_code;
}

void ChildProcess::Stop() {
  if (native_->pid > 0) ::kill(native_->pid, SIGTERM);
}

void ChildProcess::Kill() {
  Native& n = *native_;
  if (n.pid > 0) {
    ::kill(n.pid, SIGKILL);
    int status = 0;
    while (::waitpid(n.pid, &status, 0) < 0 && errno == EINTR) {
    }
    n.pid = -1;
    n.exit_code = kNoExitCode;
  }
  CloseFd(n.input);
  CloseFd(n.output);
  CloseFd(n.errors);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

std::string ArgumentPath(const std::string& utf8) { return utf8; }

}  // namespace sd::platform
