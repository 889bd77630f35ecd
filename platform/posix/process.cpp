// Child processes on POSIX: posix_spawn with three pipes, poll for the output, waitpid for the end.
#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace sd::platform {

namespace {

int Fd(PipeHandle pipe) { return static_cast<int>(pipe); }
pid_t Pid(ProcessHandle process) { return static_cast<pid_t>(process); }

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

bool SpawnChild(const ProcessSpec& launch, ProcessHandle* process, ChildPipes* pipes, std::string* error) {
  ::signal(SIGPIPE, SIG_IGN);
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    const int failed = errno;
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
      if (fd >= 0) ::close(fd);
    if (error != nullptr) *error = std::strerror(failed);
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
  if (failed != 0) {
    for (int fd : {in[1], out[0], err[0]}) ::close(fd);
    if (error != nullptr) *error = std::strerror(failed);
    return false;
  }
  ::fcntl(in[1], F_SETFL, ::fcntl(in[1], F_GETFL) | O_NONBLOCK);
  *process = pid;
  *pipes = {in[1], out[0], err[0]};
  return true;
}

long ReadPipe(PipeHandle pipe, char* buffer, std::size_t size) {
  const ssize_t n = ::read(Fd(pipe), buffer, size);
  if (n >= 0) return static_cast<long>(n);
  return errno == EINTR || errno == EAGAIN ? -1 : 0;
}

long WritePipe(PipeHandle pipe, const char* bytes, std::size_t size) {
  const ssize_t n = ::write(Fd(pipe), bytes, size);
  if (n >= 0) return static_cast<long>(n);
  return errno == EINTR || errno == EAGAIN ? 0 : -1;
}

void ClosePipe(PipeHandle pipe) { ::close(Fd(pipe)); }

bool WaitForExit(ProcessHandle process, std::chrono::milliseconds limit, int* exit_code) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(Pid(process), &status, WNOHANG);
    if (done == Pid(process)) {
      *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : ChildProcess::kNoExitCode;
      return true;
    }
    if (done < 0 && errno != EINTR) {
      *exit_code = ChildProcess::kNoExitCode;
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::usleep(2000);
  }
}

void AskToStop(ProcessHandle process) { ::kill(Pid(process), SIGTERM); }

void EndAtOnce(ProcessHandle process) {
  ::kill(Pid(process), SIGKILL);
  int status = 0;
  while (::waitpid(Pid(process), &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

SD_DEFINE_CALL_TABLE(ProcessOps, SD_PROCESS_CALLS)

struct ChildProcess::Native {
  ChildPipes pipes;
  std::string pending_input;
  std::size_t input_done = 0;

  ~Native() { pipes.CloseAll(); }
};

namespace {

// Reads what is there into `text`; closes the pipe at its end.
void Drain(PipeHandle& pipe, std::string& text) {
  char buffer[4096];
  const long n = Processes().read_pipe(pipe, buffer, sizeof buffer);
  if (n > 0) {
    text.append(buffer, static_cast<std::size_t>(n));
  } else if (n == 0) {
    ChildPipes::CloseIfOpen(pipe);
  }
}

}  // namespace

ChildProcess::ChildProcess() : native_(std::make_unique<Native>()) {}

ChildProcess::~ChildProcess() { Kill(); }

ChildPipes& ChildProcess::Pipes() { return native_->pipes; }

void ChildProcess::BeginStreams(const std::string& input) {
  // The input is written as the child reads it, between the reads of its output.
  native_->pending_input = input;
  if (input.empty()) ChildPipes::CloseIfOpen(native_->pipes.input);
}

bool ChildProcess::ReadMore(std::chrono::milliseconds limit) {
  Native& n = *native_;
  ChildPipes& p = n.pipes;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const std::size_t before = output_.size() + errors_.size();
  while (p.output != kNoPipe || p.errors != kNoPipe) {
    pollfd fds[3] = {{Fd(p.output), POLLIN, 0}, {Fd(p.errors), POLLIN, 0}, {Fd(p.input), POLLOUT, 0}};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) break;
    const int ready = ::poll(fds, 3, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    if (fds[2].revents != 0) {
      const long written = Processes().write_pipe(p.input, n.pending_input.data() + n.input_done,
                                                  n.pending_input.size() - n.input_done);
      if (written > 0) n.input_done += static_cast<std::size_t>(written);
      if (written < 0 || n.input_done == n.pending_input.size()) ChildPipes::CloseIfOpen(p.input);
    }
    if (fds[0].revents != 0) Drain(p.output, output_);
    if (fds[1].revents != 0) Drain(p.errors, errors_);
    if (output_.size() + errors_.size() != before || (p.output == kNoPipe && p.errors == kNoPipe)) return true;
  }
  return false;
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
  Native& n = *native_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (n.pipes.output != kNoPipe || n.pipes.errors != kNoPipe) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !ReadMore(left)) break;
  }
  if (n.pipes.output != kNoPipe || n.pipes.errors != kNoPipe) {
    Kill();
    return kNoExitCode;
  }
  // Both streams ended, so the child is ending; a child that closed them early still has the limit.
  if (process_ != kNoProcess) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!Processes().wait_exit(process_, std::max(left, std::chrono::milliseconds(0)), &exit_code_)) {
      Kill();
      return kNoExitCode;
    }
    process_ = kNoProcess;
  }
  return exit_code_;
}

void ChildProcess::ReleaseStreams() { native_->pipes.CloseAll(); }

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

std::string ArgumentPath(const std::string& utf8) { return utf8; }

}  // namespace sd::platform
