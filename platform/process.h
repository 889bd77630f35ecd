// Child processes for the tools and the tests: a program started with its arguments, a few changes to
// the environment and a text on its standard input, its output and error collected, waited for within a
// limit, asked to stop, or ended at once. The driver itself never starts a process. The calls that start,
// feed, read and end a child go through a table of functions, as the other facilities' calls do; how the
// pipes are waited for (a poll on POSIX, a thread for each pipe on Windows) stays each platform's own.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/call_table.h"

namespace sd::platform {

struct ProcessSpec {
  std::string program;  // native path of the executable, never searched for
  // After the program's own name, in UTF-8; each reaches the child as one word, whatever blanks or
  // quotes it holds (Windows: quoted on the child's wide command line as its runtime splits it).
  std::vector<std::string> arguments;
  std::map<std::string, std::string> environment;  // changes to this process's environment; "" removes
  std::string input;  // the child's whole standard input, then end of file
};

// A child process (POSIX: its id; Windows: its handle) and one end of a pipe (a descriptor or a handle).
using ProcessHandle = std::intptr_t;
using PipeHandle = std::intptr_t;
inline constexpr ProcessHandle kNoProcess = 0;
inline constexpr PipeHandle kNoPipe = -1;

// This process's ends of a child's three standard streams.
struct ChildPipes {
  PipeHandle input = kNoPipe, output = kNoPipe, errors = kNoPipe;

  // Closes one end if it is still open and marks it closed, so that no end is ever closed twice.
  static void CloseIfOpen(PipeHandle& pipe);
  void CloseAll();
};

// The calls, one row each: XX(result, name, the system function's name, (parameters)).
#define SD_PROCESS_CALLS(XX)                                                                                   \
  /* Starts launch.program with its arguments and changed environment, its standard streams on three new       \
     pipes whose other ends *pipes gets (only the child's ends are inherited). false, with the system's        \
     reason in *error and nothing left open, when it could not start. POSIX: SIGPIPE is ignored from now       \
     on, and the input end does not block. */                                                                  \
  XX(bool, spawn, SpawnChild, (const ProcessSpec& launch, ProcessHandle* process, ChildPipes* pipes,           \
                               std::string* error))                                                            \
  /* Reads at most `size` bytes: how many came; 0 at the pipe's end or when it failed; -1 when nothing         \
     could be read now (an interrupted read, or a pipe that does not block had nothing). */                    \
  XX(long, read_pipe, ReadPipe, (PipeHandle pipe, char* buffer, std::size_t size))                             \
  /* Writes at most `size` bytes: how many went (0 when none could go now); -1 when the pipe failed for        \
     good, as when its reader has gone. */                                                                     \
  XX(long, write_pipe, WritePipe, (PipeHandle pipe, const char* bytes, std::size_t size))                      \
  XX(void, close_pipe, ClosePipe, (PipeHandle pipe))                                                           \
  /* Waits at most `limit` for the child's end: true when it has ended (or is no child of this process any     \
     more), its handle then released and its exit code in *exit_code (kNoExitCode when it died of a signal     \
     or cannot be told); false when it still runs. */                                                          \
  XX(bool, wait_exit, WaitForExit, (ProcessHandle process, std::chrono::milliseconds limit, int* exit_code))   \
  /* Asks the child to end on its own (POSIX: SIGTERM; Windows: a console control event, or the event named    \
     after the child's process id where no console can send one). */                                           \
  XX(void, stop, AskToStop, (ProcessHandle process))                                                           \
  /* Ends the child at once (POSIX: SIGKILL; Windows: TerminateProcess), waits for its end and releases its    \
     handle. */                                                                                                \
  XX(void, kill, EndAtOnce, (ProcessHandle process))

struct ProcessOps {
  SD_PROCESS_CALLS(SD_CALL_FIELD)
};

// The operations in force (Processes()), the system's own ones (SystemProcesses()), and SetProcesses().
SD_CALL_TABLE_FUNCTIONS(ProcessOps, Processes)

class ChildProcess {
 public:
  ChildProcess();
  // A child still running is ended at once and waited for: no process outlives its owner.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the child; false, with the system's reason in *error, when it could not start. The child's
  // standard output and error are pipes that this object reads; a child that stops reading its input
  // never ends this program (POSIX: SIGPIPE is ignored once a child was started).
  bool Start(const ProcessSpec& launch, std::string* error);

  // Waits at most `limit` for more output or for both output streams to end; false when nothing came.
  bool ReadMore(std::chrono::milliseconds limit);

  // Reads until the child's output streams end, then waits for the child, all within `limit`. Its exit
  // code; kNoExitCode when it was still running at the limit (it is then ended at once) or died of a
  // signal.
  int Wait(std::chrono::milliseconds limit);

  // Asks the child to end on its own (POSIX: SIGTERM; Windows: a console control event).
  void Stop();
  // Ends the child at once (POSIX: SIGKILL; Windows: TerminateProcess) and waits for it.
  void Kill();

  bool Started() const { return process_ != kNoProcess; }
  const std::string& Output() const { return output_; }
  const std::string& Errors() const { return errors_; }

  static constexpr int kNoExitCode = -1;

 private:
  // The platform's own half: where its pipe ends are kept; what starts once the child runs (feeding its
  // input and reading its output); what ends once it has been ended (the pipes closed and whatever
  // output was still on its way taken).
  ChildPipes& Pipes();
  void BeginStreams(const std::string& input);
  void ReleaseStreams();

  struct Native;  // the pipes and their bookkeeping, the platform's own
  std::unique_ptr<Native> native_;
  ProcessHandle process_ = kNoProcess;
  int exit_code_ = kNoExitCode;
  std::string output_;
  std::string errors_;
};

// A program's command line, its own name first, in UTF-8 as on every system. Windows reads it through
// the wide-character API, so that the ANSI code page changes nothing of it; elsewhere it is argv.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// A path given on a program's command line (UTF-8) as the platform's native path (Windows-1251 on
// Windows, as the driver's own paths are).
std::string ArgumentPath(const std::string& utf8);

}  // namespace sd::platform
