// Child processes on Windows: CreateProcessW with three pipes, each served by a thread of its own (an
// anonymous pipe cannot be waited for alongside others), and the process handle waited for at the end.
#include "platform/process.h"
#include "platform/win32/text_win32.h"

#include <windows.h>
#include <shellapi.h>
#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace sd::platform {

namespace {

std::wstring WideFrom(UINT code_page, const std::string& text) {
  if (text.empty()) return {};
  const int length = ::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::wstring FromAnsi(const std::string& text) { return WideFrom(CP_ACP, text); }
std::wstring FromUtf8(const std::string& text) { return WideFrom(CP_UTF8, text); }

std::string ToUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), length, nullptr, nullptr);
  return out;
}

std::string StartFailure(DWORD code) {
  const std::string message = win32::SystemMessage(code);
  return message.empty() ? "error " + std::to_string(code) : message;
}

// One argument as the C runtime of the child splits its command line again.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!line.empty()) line += L' ';
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// This process's environment with the changes; names compare without regard to letter case.
std::wstring ChildEnvironment(const std::map<std::string, std::string>& changes) {
  std::map<std::wstring, std::wstring> wide_changes;
  for (const auto& [name, value] : changes) wide_changes[FromAnsi(name)] = FromAnsi(value);
  const auto changed = [&](const std::wstring& name) {
    for (const auto& [changed_name, value] : wide_changes)
      if (::CompareStringOrdinal(changed_name.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    return false;
  };
  std::wstring block;
  wchar_t* strings = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; entry != nullptr && *entry != L'\0'; entry += wcslen(entry) + 1) {
    const std::wstring text = entry;
    const std::size_t equals = text.find(L'=', 1);
    if (equals != std::wstring::npos && changed(text.substr(0, equals))) continue;
    block += text;
    block += L'\0';
  }
  if (strings != nullptr) ::FreeEnvironmentStringsW(strings);
  for (const auto& [name, value] : wide_changes)
    if (!value.empty()) block += name + L"=" + value + L'\0';
  block += L'\0';
  return block;
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t Neutral(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

bool SpawnChild(const ProcessSpec& launch, ProcessHandle* process, ChildPipes* pipes, std::string* error) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE child_in = nullptr, child_out = nullptr, child_err = nullptr;
  HANDLE input = nullptr, output = nullptr, errors = nullptr;
  const bool piped = ::CreatePipe(&child_in, &input, &inherited, 0) &&
                     ::CreatePipe(&output, &child_out, &inherited, 0) &&
                     ::CreatePipe(&errors, &child_err, &inherited, 0);
  const DWORD pipe_error = ::GetLastError();
  // Only the child's ends are inherited.
  for (HANDLE own : {input, output, errors})
    if (own != nullptr) ::SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
  const auto close_own = [&] {
    for (HANDLE h : {input, output, errors})
      if (h != nullptr) ::CloseHandle(h);
  };
  if (!piped) {
    for (HANDLE h : {child_in, child_out, child_err})
      if (h != nullptr) ::CloseHandle(h);
    close_own();
    if (error != nullptr) *error = StartFailure(pipe_error);
    return false;
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_in;
  startup.hStdOutput = child_out;
  startup.hStdError = child_err;
  std::wstring command_line;
  AppendQuoted(command_line, FromAnsi(launch.program));
  for (const std::string& argument : launch.arguments) AppendQuoted(command_line, FromUtf8(argument));
  std::wstring environment = ChildEnvironment(launch.environment);
  PROCESS_INFORMATION info{};
  // Its own process group, so that a stop reaches the child alone.
  const BOOL created = ::CreateProcessW(FromAnsi(launch.program).c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_PROCESS_GROUP, environment.data(),
                                        nullptr, &startup, &info);
  const DWORD create_error = ::GetLastError();
  for (HANDLE h : {child_in, child_out, child_err}) ::CloseHandle(h);
  if (!created) {
    close_own();
    if (error != nullptr) *error = StartFailure(create_error);
    return false;
  }
  ::CloseHandle(info.hThread);
  *process = Neutral(info.hProcess);
  *pipes = {Neutral(input), Neutral(output), Neutral(errors)};
  return true;
}

// The pipes block: a read waits for bytes or the end, and a failed one is the end (the writer has gone).
long ReadPipe(PipeHandle pipe, char* buffer, std::size_t size) {
  DWORD got = 0;
  return ::ReadFile(Handle(pipe), buffer, static_cast<DWORD>(size), &got, nullptr) ? static_cast<long>(got) : 0;
}

long WritePipe(PipeHandle pipe, const char* bytes, std::size_t size) {
  DWORD written = 0;
  return ::WriteFile(Handle(pipe), bytes, static_cast<DWORD>(size), &written, nullptr) ? static_cast<long>(written)
                                                                                      : -1;
}

void ClosePipe(PipeHandle pipe) { ::CloseHandle(Handle(pipe)); }

bool WaitForExit(ProcessHandle process, std::chrono::milliseconds limit, int* exit_code) {
  if (::WaitForSingleObject(Handle(process), static_cast<DWORD>(std::max<long long>(limit.count(), 0))) !=
      WAIT_OBJECT_0)
    return false;
  DWORD code = 0;
  *exit_code = ::GetExitCodeProcess(Handle(process), &code) ? static_cast<int>(code) : ChildProcess::kNoExitCode;
  ::CloseHandle(Handle(process));
  return true;
}

void AskToStop(ProcessHandle process) {
  const DWORD id = ::GetProcessId(Handle(process));
  if (::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, id)) return;
  // A parent without a console (a program run headless under Wine) cannot send the event; a child that
  // waits for a stop also listens on an event named after its process.
  const std::wstring name = L"Local\\SmartDriverStop-" + std::to_wstring(id);
  if (const HANDLE stop = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str())) {
    ::SetEvent(stop);
    ::CloseHandle(stop);
  }
}

void EndAtOnce(ProcessHandle process) {
  ::TerminateProcess(Handle(process), 1);
  ::WaitForSingleObject(Handle(process), INFINITE);
  ::CloseHandle(Handle(process));
}

}  // namespace

SD_DEFINE_CALL_TABLE(ProcessOps, SD_PROCESS_CALLS)

struct ChildProcess::Native {
  ChildPipes pipes;
  std::thread writer, output_reader, errors_reader;
  std::mutex lock;
  std::condition_variable changed;
  std::string output_text, errors_text;  // what the readers got and this object has not taken yet
  int open_streams = 0;

  void Read(PipeHandle pipe, std::string Native::*text) {
    char buffer[4096];
    long got = 0;
    while ((got = Processes().read_pipe(pipe, buffer, sizeof buffer)) > 0) {
      std::lock_guard<std::mutex> hold(lock);
      (this->*text).append(buffer, static_cast<std::size_t>(got));
      changed.notify_all();
    }
    std::lock_guard<std::mutex> hold(lock);
    --open_streams;
    changed.notify_all();
  }

  // Ends the pipe threads: a reader stuck on a pipe that a grandchild still holds is cancelled.
  void JoinThreads() {
    for (std::thread* thread : {&writer, &output_reader, &errors_reader}) {
      if (!thread->joinable()) continue;
      ::CancelSynchronousIo(reinterpret_cast<HANDLE>(pthread_gethandle(thread->native_handle())));
      thread->join();
    }
    pipes.CloseAll();
  }

  ~Native() { JoinThreads(); }
};

ChildProcess::ChildProcess() : native_(std::make_unique<Native>()) {}

ChildProcess::~ChildProcess() { Kill(); }

ChildPipes& ChildProcess::Pipes() { return native_->pipes; }

void ChildProcess::BeginStreams(const std::string& input) {
  Native& n = *native_;
  n.open_streams = 2;
  n.output_reader = std::thread([&n] { n.Read(n.pipes.output, &Native::output_text); });
  n.errors_reader = std::thread([&n] { n.Read(n.pipes.errors, &Native::errors_text); });
  n.writer = std::thread([&n, input] {
    std::size_t done = 0;
    while (done < input.size()) {
      const long written = Processes().write_pipe(n.pipes.input, input.data() + done, input.size() - done);
      if (written < 0) break;
      done += static_cast<std::size_t>(written);
    }
    // The end of the input is the child's end of file.
    std::lock_guard<std::mutex> hold(n.lock);
    ChildPipes::CloseIfOpen(n.pipes.input);
  });
}

bool ChildProcess::ReadMore(std::chrono::milliseconds limit) {
  Native& n = *native_;
  std::unique_lock<std::mutex> hold(n.lock);
  const bool came = n.changed.wait_for(hold, limit, [&] {
    return !n.output_text.empty() || !n.errors_text.empty() || n.open_streams == 0;
  });
  output_ += n.output_text;
  errors_ += n.errors_text;
  n.output_text.clear();
  n.errors_text.clear();
  return came;
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
  Native& n = *native_;
  if (process_ == kNoProcess) return exit_code_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(n.lock);
      if (n.open_streams == 0) break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      Kill();
      return kNoExitCode;
    }
    ReadMore(left);
  }
  ReadMore(std::chrono::milliseconds(0));
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (!Processes().wait_exit(process_, left, &exit_code_)) {
    Kill();
    return kNoExitCode;
  }
  process_ = kNoProcess;
  n.JoinThreads();
  return exit_code_;
}

void ChildProcess::ReleaseStreams() {
  native_->JoinThreads();
  ReadMore(std::chrono::milliseconds(0));
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (words == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(ToUtf8(words[i]));
  ::LocalFree(words);
  return arguments;
}

std::string ArgumentPath(const std::string& utf8) { return text::FromUtf8(utf8); }

}  // namespace sd::platform
