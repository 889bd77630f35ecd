// The transport's error kinds. All derive from TransportError, itself the runtime's general exception,
// so the exchange catches one base and shows the message; SocketError adds the system's socket code.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "smartdriver/errors.h"

namespace sd::transport {

class TransportError : public sd::Exception {
 public:
  using sd::Exception::Exception;
};

// A socket call failed; the message is SocketErrorText of the code.
class SocketError : public TransportError {
 public:
  SocketError(int code, std::string message) : TransportError(std::move(message)), code_(code) {}
  int ErrorCode() const noexcept { return code_; }

 private:
  int code_;
};

// A socket call failed with kWsaENotSock: the handle is not a socket (any more).
class NotASocketError : public SocketError {
 public:
  using SocketError::SocketError;
};

// The socket library could not be loaded, or was called before it was.
class SocketLibraryError : public TransportError {
 public:
  SocketLibraryError(std::string title, std::uint32_t system_error, std::string system_error_text)
      : TransportError(system_error == 0 ? title : title + ": " + system_error_text),
        title_(std::move(title)),
        system_error_(system_error),
        system_error_text_(std::move(system_error_text)) {}
  const std::string& Title() const noexcept { return title_; }
  std::uint32_t SystemError() const noexcept { return system_error_; }
  const std::string& SystemErrorText() const noexcept { return system_error_text_; }

 private:
  std::string title_;
  std::uint32_t system_error_;
  std::string system_error_text_;
};

class StackError : public TransportError {
 public:
  using TransportError::TransportError;
};

class StackInitializationError : public StackError {
 public:
  using StackError::StackError;
};

class SetSizeExceededError : public StackError {
 public:
  using StackError::StackError;
};

}  // namespace sd::transport
