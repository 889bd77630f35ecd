// The transport's message texts, kept in one table so they could be translated without touching
// code, and the composition of a socket error's message from its code.
#pragma once

#include <string>
#include <string_view>

namespace sd::transport {

enum class TransportText {
  kAlreadyConnected,
  kConnectionClosedGracefully,
  kReadTimeout,
  kConnectTimedOut,
  kCouldNotBindSocket,
  kResolvingHostName,  // takes the host
  kConnecting,         // takes the peer's dotted address
  kConnected,
  kDisconnecting,
  kDisconnected,
  kWinsockInitializationError,
  kSetSizeExceeded,
  kStackClassUndefined,
  kStackAlreadyCreated,
  kErrorOnLoadingLibrary,  // takes the library's file name
  kErrorOnCallFunction,    // takes the function's name
};

// The text as it stands in the table, with its "%s" still in place.
std::string_view Text(TransportText id);

// The text with its one "%s" replaced by the argument.
std::string FormatText(TransportText id, std::string_view argument);

// "Socket Error # <code>\r\n<text>", the text being empty for a code the table lacks.
std::string SocketErrorText(int code);

}  // namespace sd::transport
