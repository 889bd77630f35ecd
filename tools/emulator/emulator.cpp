// The emulator's handling of one connection: read a request frame, decide from the scenario, answer or
// misbehave. The listeners and threads are the peer's.
#include "tools/emulator/emulator.h"

#include <algorithm>

namespace sd::emulator {
namespace {

constexpr std::size_t kMaxFrame = 1024;  // a request without a terminator by then is taken as it is

}  // namespace

const char* ServerName(Server server) { return server == Server::Discount ? "discount" : "cashless"; }

Emulator::Emulator(EmulatorOptions options)
    : options_(std::move(options)),
      peer_([this](Connection& connection) { Serve(connection); },
            PeerOptions{.ports = {options_.discount_port, options_.cashless_port}}) {}

Emulator::~Emulator() { Stop(); }

void Emulator::SetScenario(Scenario scenario) {
  std::lock_guard lock(mutex_);
  scenario_ = std::move(scenario);
}

std::vector<ExchangeRecord> Emulator::Exchanges() const {
  std::lock_guard lock(mutex_);
  return exchanges_;
}

bool Emulator::WaitForExchanges(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return exchanges_.size() >= count; });
}

void Emulator::Print(const std::string& line) const {
  if (options_.out == nullptr) return;
  std::lock_guard lock(print_mutex_);
  *options_.out << line << std::endl;
}

bool Emulator::ReadFrame(Connection& connection, Bytes& frame, const std::string& who) {
  std::uint8_t buffer[512];
  while (frame.size() < kMaxFrame) {
    const int n = connection.Receive(buffer, sizeof buffer, -1);
    if (n == -2) return false;  // stopped
    if (n < 0) {
      Print(who + " receive failed: " + SocketErrorWords(connection.ErrorCode()));
      return false;
    }
    if (n == 0) {
      if (frame.empty()) Print(who + " connection closed without a request");
      return !frame.empty();
    }
    frame.insert(frame.end(), buffer, buffer + n);
    const auto end = std::find(frame.begin(), frame.end(), sd::exchange::kFrameEnd);
    if (end != frame.end()) {
      if (end + 1 != frame.end()) Print(who + " ignoring " + std::to_string(frame.end() - end - 1) +
                                        " bytes after the terminator");
      frame.erase(end + 1, frame.end());
      return true;
    }
  }
  return true;
}

ReplyFields Emulator::Answer(const RequestInfo& request, const ReplyPlan& plan) const {
  ReplyFields fields;
  fields.type = plan.type.value_or(request.type == 3 ? 3 : 1);
  fields.counter = request.counter;
  fields.wallet = request.wallet;
  fields.approval = plan.approval.value_or(options_.approval);
  fields.discount = plan.discount.value_or(options_.discount);
  if (plan.card)
    fields.card = *plan.card;
  else
    fields.card = request.card.value_or(options_.card);
  if (plan.price)
    fields.price = *plan.price;
  else if (request.type == 2)
    fields.price = options_.cancel_price;
  else
    fields.price = Discounted(request.unit_price.value_or(0), fields.discount);
  return fields;
}

// What comes before any byte is read (a late take-up, a hang-up) can only be asked for by the default
// and by the rule of the coming request number. A hung-up connection counts as a request with nothing
// in it. False when the connection is to be dropped.
bool Emulator::TakeUp(Connection& connection, Server server) {
  const std::string where = std::string("[") + ServerName(server);
  int sequence = 0;
  ReplyPlan plan;
  {
    std::lock_guard lock(mutex_);
    sequence = static_cast<int>(exchanges_.size()) + 1;
    plan = scenario_.PlanFor(sequence, -1);
  }
  if (plan.accept_ms.value_or(0) > 0) {
    Print(where + " #" + std::to_string(sequence) + "?] taking the connection up in " +
          std::to_string(*plan.accept_ms) + " ms");
    if (!connection.Pause(*plan.accept_ms)) return false;
  }
  if (plan.fault != Fault::Hangup) return true;
  {
    std::lock_guard lock(mutex_);
    ExchangeRecord record;
    record.server = server;
    record.sequence = sequence = static_cast<int>(exchanges_.size()) + 1;
    record.fault = Fault::Hangup;
    exchanges_.push_back(record);
  }
  arrived_.notify_all();
  Print(where + " #" + std::to_string(sequence) + "] hanging up at once");
  return false;
}

void Emulator::Serve(Connection& connection) {
  const Server server = connection.Listener() == 0 ? Server::Discount : Server::Cashless;
  if (!TakeUp(connection, server)) return;
  Bytes frame;
  const std::string where = std::string("[") + ServerName(server);
  if (!ReadFrame(connection, frame, where + "]")) return;
  ExchangeRecord record;
  record.server = server;
  record.request = ParseRequest(frame);
  ReplyPlan plan;
  {
    std::lock_guard lock(mutex_);
    record.sequence = static_cast<int>(exchanges_.size()) + 1;
    plan = scenario_.PlanFor(record.sequence, record.request.wallet);
  }
  record.fault = plan.fault.value_or(Fault::None);
  const ReplyFields fields = Answer(record.request, plan);
  switch (record.fault) {
    case Fault::Garbage:
      record.reply.assign(std::begin(kGarbageReply), std::end(kGarbageReply));
      break;
    case Fault::Silent:
    case Fault::Close:
    case Fault::Reset:
    case Fault::Hangup:
    case Fault::Flood:
      break;
    case Fault::NoEnd:
    case Fault::NoEndClose:
      record.reply = BuildReply(fields);
      record.reply.pop_back();
      break;
    case Fault::Trailing:
      record.reply = BuildReply(fields);
      record.reply.insert(record.reply.end(), std::begin(kTrailingBytes), std::end(kTrailingBytes));
      break;
    default:
      record.reply = BuildReply(fields, record.fault == Fault::BadCrc);
      break;
  }

  const std::string who = where + " #" + std::to_string(record.sequence) + "]";
  Print(who + " received " + std::to_string(frame.size()) + " bytes: " + sd::exchange::HexDump(frame));
  Print(who + " request: " + Describe(record.request));
  {
    std::lock_guard lock(mutex_);
    exchanges_.push_back(record);
  }
  arrived_.notify_all();
  Act(connection, record, plan, who);
}

void Emulator::Act(Connection& connection, const ExchangeRecord& record, const ReplyPlan& plan,
                   const std::string& who) {
  if (plan.delay_ms.value_or(0) > 0) {
    Print(who + " waiting " + std::to_string(*plan.delay_ms) + " ms");
    if (!connection.Pause(*plan.delay_ms)) return;
  }
  switch (record.fault) {
    case Fault::Silent:
      Print(who + " staying silent");
      connection.AwaitClientClose(-1);
      return;
    case Fault::Close:
    case Fault::Hangup:  // asked for by a rule that only the request showed to apply
      Print(who + " closing without an answer");
      return;
    case Fault::Reset:
      Print(who + " resetting the connection");
      connection.Reset();
      return;
    default:
      break;
  }
  const bool sent = SendReply(connection, record);
  if (record.fault == Fault::MidReset) {
    Print(who + " resetting the connection in the middle of the answer");
    connection.Reset();
    return;
  }
  const std::string how = record.fault == Fault::None ? "" : std::string(" (") + FaultName(record.fault) + ")";
  if (record.fault == Fault::Flood) {
    Print(who + (sent ? " sent " : " could not send all of ") + std::to_string(kFloodBytes) + " bytes" + how);
  } else {
    Print(who + (sent ? " sent " : " could not send ") + std::to_string(record.reply.size()) + " bytes" + how +
          ": " + sd::exchange::HexDump(record.reply));
    if (auto fields = ParseReply(record.reply)) Print(who + " reply: " + Describe(*fields));
  }
  if (!sent) return;
  if (record.fault == Fault::NoEnd) {
    connection.AwaitClientClose(-1);
    return;
  }
  // Closing while the client may still write would reset the connection and could lose the reply.
  connection.ShutdownSend();
  connection.AwaitClientClose(2000);
}

// Sends what the fault asks for, as it asks; false when the connection failed or the peer stopped.
bool Emulator::SendReply(Connection& connection, const ExchangeRecord& record) {
  const std::span<const std::uint8_t> reply(record.reply);
  switch (record.fault) {
    case Fault::Split:
    case Fault::MidReset: {
      const std::size_t half = reply.size() / 2;
      if (!connection.Send(reply.first(half)) || !connection.Pause(options_.split_pause_ms)) return false;
      return record.fault == Fault::MidReset || connection.Send(reply.subspan(half));
    }
    case Fault::Drip:
      for (std::size_t i = 0; i < reply.size(); ++i)
        if (!connection.Send(reply.subspan(i, 1)) || !connection.Pause(options_.drip_pause_ms)) return false;
      return true;
    case Fault::Flood: {
      // The client stops reading long before the end; its close then fails the send.
      const Bytes chunk(64 * 1024, 0x55);
      for (std::size_t sent = 0; sent < kFloodBytes; sent += chunk.size())
        if (!connection.Send(chunk)) return false;
      return true;
    }
    default:
      return connection.Send(reply);
  }
}

}  // namespace sd::emulator
