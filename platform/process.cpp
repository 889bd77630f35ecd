// The half of a child process that is the same on every platform: closing pipe ends once, and starting a
// child, asking it to stop or ending it through the process table.
#include "platform/process.h"

namespace sd::platform {

void ChildPipes::CloseIfOpen(PipeHandle& pipe) {
  if (pipe != kNoPipe) Processes().close_pipe(pipe);
  pipe = kNoPipe;
}

void ChildPipes::CloseAll() {
  CloseIfOpen(input);
  CloseIfOpen(output);
  CloseIfOpen(errors);
}

bool ChildProcess::Start(const ProcessSpec& launch, std::string* error) {
  if (!Processes().spawn(launch, &process_, &Pipes(), error)) {
    process_ = kNoProcess;
    Pipes() = {};
    return false;
  }
  BeginStreams(launch.input);
  return true;
}

void ChildProcess::Stop() {
  if (process_ != kNoProcess) Processes().stop(process_);
}

void ChildProcess::Kill() {
  if (process_ != kNoProcess) {
    Processes().kill(process_);
    process_ = kNoProcess;
    exit_code_ = kNoExitCode;
  }
  ReleaseStreams();
}

}  // namespace sd::platform
