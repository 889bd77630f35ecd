// Child processes for the tests of smartdriver-host: a program run to its end with its standard input
// given and its output collected, and a program left running (the emulator) whose output is read while
// it runs. Every wait is bounded; a child that outlives its limit is killed.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace sd::testing {

struct ProgramResult {
  int exit_code = -1;  // -1 when the child was killed or died of a signal
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  // Starts argv[0] (a path) with the environment of this process changed by `env` (an empty value
  // removes the variable); its standard input is a pipe, its output and error are collected.
  ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {}) {
    // A child that ends before reading its input must not end the test with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);

    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (env.count(entry.substr(0, entry.find('='))) == 0) env_strings.push_back(entry);
    }
    for (const auto& [name, value] : env)
      if (!value.empty()) env_strings.push_back(name + "=" + value);
    std::vector<char*> envp, args;
    for (auto& s : env_strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv_copy = argv;
    for (auto& s : argv_copy) args.push_back(s.data());
    args.push_back(nullptr);

    if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    stdin_ = in[1];
    out_ = out[0];
    err_ = err[0];
  }
  ~ChildProcess() {
    Kill();
    for (int fd : {stdin_, out_, err_})
      if (fd >= 0) ::close(fd);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  const std::string& Out() const { return out_text_; }
  const std::string& Err() const { return err_text_; }

  void WriteStdin(const std::string& text) {
    std::size_t done = 0;
    while (stdin_ >= 0 && done < text.size()) {
      const ssize_t n = ::write(stdin_, text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  }
  void CloseStdin() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }

  // Reads output until the standard output holds a whole first line; that line, or "" on time-out or end.
  std::string WaitForFirstLine(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (out_text_.find('\n') == std::string::npos) {
      if (!Pump(deadline)) return "";
    }
    return out_text_.substr(0, out_text_.find('\n'));
  }

  // Collects the output until the child ends and returns its exit code; kills it after `limit`.
  int Wait(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (out_ >= 0 || err_ >= 0)
      if (!Pump(deadline)) break;
    if (out_ >= 0 || err_ >= 0) Kill();
    return Reap();
  }

  void Signal(int signal_number) {
    if (pid_ > 0) ::kill(pid_, signal_number);
  }

 private:
  // One round of reading; false when the deadline passed or both pipes are at their end.
  bool Pump(std::chrono::steady_clock::time_point deadline) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || (out_ < 0 && err_ < 0)) return false;
    if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) return false;
    ReadFrom(fds[0], out_, out_text_);
    ReadFrom(fds[1], err_, err_text_);
    return true;
  }
  static void ReadFrom(const pollfd& p, int& fd, std::string& text) {
    if (fd < 0 || (p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) return;
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      text.append(buf, static_cast<std::size_t>(n));
    } else {
      ::close(fd);
      fd = -1;
    }
  }
  void Kill() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Reap();
    }
  }
  int Reap() {
    if (pid_ <= 0) return exit_code_;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exit_code_;
  }

  pid_t pid_ = -1;
  int stdin_ = -1, out_ = -1, err_ = -1;
  int exit_code_ = -1;
  std::string out_text_, err_text_;
};

// Runs a program to its end with `input` on its standard input; killed after `limit`.
inline ProgramResult RunProgram(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                                const std::string& input = "",
                                std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  ChildProcess child(argv, env);
  ProgramResult result;
  if (!child.Started()) return result;
  child.WriteStdin(input);
  child.CloseStdin();
  result.exit_code = child.Wait(limit);
  result.out = child.Out();
  result.err = child.Err();
  return result;
}

}  // namespace sd::testing
