// Small helpers of the client tests: byte arrays from text and back, a recorder of statuses and
// notifications, and a loopback port that nobody listens on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/emulator/peer.h"
#include "transport/tcp_client.h"

namespace sd::transport::testing {

inline std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
inline std::string Text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// Everything a client reports, in order: status texts as they are, notifications as "<connected>" and
// "<disconnected>".
struct Recorder {
  explicit Recorder(TcpClient& client) {
    client.SetOnStatus([this](TcpStatus, std::string_view text) { events.emplace_back(text); });
    client.SetOnConnected([this] { events.emplace_back("<connected>"); });
    client.SetOnDisconnected([this] { events.emplace_back("<disconnected>"); });
  }
  std::vector<std::string> Take() { return std::exchange(events, {}); }
  std::vector<std::string> events;
};

// A port that was just free on 127.0.0.1 and is not listened on.
inline int DeadPort() { return sd::emulator::Peer(nullptr).Port(); }

}  // namespace sd::transport::testing
