// Child processes for the tools and the tests: a program started with its arguments, a few changes to
// the environment and a text on its standard input, its output and error collected, waited for within a
// limit, asked to stop, or ended at once. The driver itself never starts a process.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sd::platform {

struct ProcessSpec {
  std::string program;  // native path of the executable, never searched for
  // After the program's own name, in UTF-8; each reaches the child as one word, whatever blanks or
  // quotes it holds (Windows: quoted on the child's wide command line as its runtime splits it).
  std::vector<std::string> arguments;
  std::map<std::string, std::string> environment;  // changes to this process's environment; "" removes
  std::string input;  // the child's whole standard input, then end of file
};

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

  bool Started() const;
  const std::string& Output() const { return output_; }
  const std::string& Errors() const { return errors_; }

  static constexpr int kNoExitCode = -1;

 private:
  struct Native;  // the handles of the platform's implementation
  std::unique_ptr<Native> native_;
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
