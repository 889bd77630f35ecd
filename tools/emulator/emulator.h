// The discount and cashless server emulator: listens on two loopback ports, answers every connection's
// one request as a real server would, or misbehaves as its scenario says, and keeps what it received.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "tools/emulator/frames.h"
#include "tools/emulator/peer.h"
#include "tools/emulator/scenario.h"

namespace sd::emulator {

enum class Server { Discount, Cashless };

// What the Garbage fault sends: no reply at all, but terminated like a frame.
inline constexpr std::uint8_t kGarbageReply[] = {'G', 'A', 'R', 'B', 'A', 'G', 'E', 0xC0};
// What the Trailing fault sends after the reply, in the same send.
inline constexpr std::uint8_t kTrailingBytes[] = {'M', 'O', 'R', 'E'};
// How much the Flood fault sends, none of it a terminator.
inline constexpr std::size_t kFloodBytes = std::size_t{1} << 20;

struct EmulatorOptions {
  int discount_port = 0;  // 0 picks a free port
  int cashless_port = 0;
  std::int64_t card = 0x0012345678;  // the card of every reply to a type 1 or 3 request
  std::uint8_t discount = 50;        // tenths of a percent
  std::int32_t cancel_price = 0;     // discounted price of a reply to a type 2 request
  std::int32_t approval = 1;
  int split_pause_ms = 50;           // pause between the two pieces of a split answer, and before a
                                     // reset in the middle of one
  int drip_pause_ms = 20;            // pause after each byte of a dripped answer
  std::ostream* out = nullptr;       // where frames are printed, line by line; null prints nothing
};

// One request and what the emulator did about it.
struct ExchangeRecord {
  Server server = Server::Discount;
  int sequence = 0;  // 1-based order of arrival over both ports
  RequestInfo request;
  Fault fault = Fault::None;
  Bytes reply;  // the bytes meant to be sent (of a flood, none are kept); empty when nothing was
};

class Emulator {
 public:
  // Binds both ports on 127.0.0.1 and starts serving; std::runtime_error when a port cannot be bound.
  explicit Emulator(EmulatorOptions options = {});
  ~Emulator();  // stops and joins every thread
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  int DiscountPort() const { return peer_.Port(0); }
  int CashlessPort() const { return peer_.Port(1); }

  // Replaces the scenario; request numbers keep counting from the requests already received.
  void SetScenario(Scenario scenario);

  // Every request received so far, in order of arrival.
  std::vector<ExchangeRecord> Exchanges() const;
  // Waits until at least count requests have arrived; false when the time ran out first.
  bool WaitForExchanges(std::size_t count, std::chrono::milliseconds timeout) const;

  // Closes the listeners and every open connection and joins the threads. Idempotent.
  void Stop() { peer_.Stop(); }

 private:
  void Serve(Connection& connection);
  bool TakeUp(Connection& connection, Server server);
  bool SendReply(Connection& connection, const ExchangeRecord& record);
  bool ReadFrame(Connection& connection, Bytes& frame, const std::string& who);
  void Act(Connection& connection, const ExchangeRecord& record, const ReplyPlan& plan, const std::string& who);
  ReplyFields Answer(const RequestInfo& request, const ReplyPlan& plan) const;
  void Print(const std::string& line) const;

  EmulatorOptions options_;
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  Scenario scenario_;
  std::vector<ExchangeRecord> exchanges_;
  mutable std::mutex print_mutex_;
  Peer peer_;  // last, so that its threads stop before what they use goes
};

const char* ServerName(Server server);

}  // namespace sd::emulator
