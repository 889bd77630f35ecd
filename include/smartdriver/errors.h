// The runtime's exception classes that failures reach the host as. A host catches sd::Exception (or
// std::exception) and shows what(): the operator message in Windows-1251, zero-terminated.
//
// Every class here is defined wholly in this header, so a host that loads the library at run time gets
// its own copy of each class and still catches what the library throws: the type identity is the name.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <utility>

#if defined(_WIN32)
#define SD_VISIBLE
#else
#define SD_VISIBLE __attribute__((visibility("default")))
#endif

namespace sd {

// The general exception class: a message and nothing else.
class SD_VISIBLE Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

// An entry that the driver does not implement was called.
class SD_VISIBLE EAbstractError : public Exception {
 public:
  EAbstractError() : Exception("Abstract Error") {}
};

// A text could not be read as the number it should hold.
class SD_VISIBLE EConvertError : public Exception {
 public:
  using Exception::Exception;
  // The runtime's wording for a text that is not an integer: '<text>' is not a valid integer value.
  static EConvertError NotAnInteger(std::string_view text) {
    return EConvertError("'" + std::string(text) + "' is not a valid integer value");
  }
};

// A floating-point division by zero.
class SD_VISIBLE EZeroDivide : public Exception {
 public:
  EZeroDivide() : Exception("Floating point division by zero") {}
};

// A value outside the range that an operation accepts.
class SD_VISIBLE ERangeError : public Exception {
 public:
  ERangeError() : Exception("Range check error") {}
};

// The kinds of a server operation's failure that a host may act on differently: the server refused,
// no reply came in time, the exchange failed, or an argument could not be sent. Each is the general class
// to a host that catches sd::Exception, with the same message; the class only names the kind, so a host
// (and the flat C interface) tells "declined" from "try again" without reading the text.
class SD_VISIBLE EServerRefusal : public Exception {
 public:
  using Exception::Exception;
};

class SD_VISIBLE ETimeOut : public Exception {
 public:
  using Exception::Exception;
};

class SD_VISIBLE ECommunicationError : public Exception {
 public:
  using Exception::Exception;
};

class SD_VISIBLE EInvalidArgument : public Exception {
 public:
  using Exception::Exception;
};

// An entry of the table that this driver answers with a refusal: the terminal or the server does not do it.
class SD_VISIBLE EUnsupported : public Exception {
 public:
  using Exception::Exception;
};

// An input/output failure that reaches the host as the general class (a log line of a request that could
// not be written), unlike EInOutError, which keeps its own class.
class SD_VISIBLE EFileFailure : public Exception {
 public:
  using Exception::Exception;
};

// A file could not be opened, written, closed or measured. The code follows the Windows numbering
// (2 file not found, 3 path not found, 5 access denied, ...), and the message carries it.
class SD_VISIBLE EInOutError : public Exception {
 public:
  explicit EInOutError(int code) : Exception("I/O error " + std::to_string(code)), code_(code) {}
  // For a facility's own input/output error that words its message itself.
  EInOutError(int code, std::string message) : Exception(std::move(message)), code_(code) {}
  int ErrorCode() const noexcept { return code_; }

 private:
  int code_;
};

}  // namespace sd
