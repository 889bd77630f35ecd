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

// The hang-up is decided before any byte is read, so only the default and the rule of the coming
// request number can ask for it; such a connection counts as a request with nothing in it.
bool Emulator::HangUp(Server server) {
  int sequence = 0;
  {
    std::lock_guard lock(mutex_);
    sequence = static_cast<int>(exchanges_.size()) + 1;
    if (scenario_.PlanFor(sequence, -1).fault != Fault::Hangup) return false;
    ExchangeRecord record;
    record.server = server;
    record.sequence = sequence;
    record.fault = Fault::Hangup;
    exchanges_.push_back(record);
  }
  arrived_.notify_all();
  Print(std::string("[") + ServerName(server) + " #" + std::to_string(sequence) + "] hanging up at once");
  return true;
}

void Emulator::Serve(Connection& connection) {
  const Server server = connection.Listener() == 0 ? Server::Discount : Server::Cashless;
  if (HangUp(server)) return;
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
  if (record.fault == Fault::Garbage)
    record.reply.assign(std::begin(kGarbageReply), std::end(kGarbageReply));
  else if (record.fault == Fault::None || record.fault == Fault::Split || record.fault == Fault::BadCrc)
    record.reply = BuildReply(fields, record.fault == Fault::BadCrc);

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
  const Bytes& reply = record.reply;
  bool sent;
  if (record.fault == Fault::Split) {
    const std::size_t half = reply.size() / 2;
    sent = connection.Send(std::span(reply).first(half)) && connection.Pause(options_.split_pause_ms) &&
           connection.Send(std::span(reply).subspan(half));
  } else {
    sent = connection.Send(reply);
  }
  std::string how = record.fault == Fault::None ? "" : std::string(" (") + FaultName(record.fault) + ")";
  Print(who + (sent ? " sent " : " could not send ") + std::to_string(reply.size()) + " bytes" + how +
        ": " + sd::exchange::HexDump(reply));
  if (auto fields = ParseReply(reply)) Print(who + " reply: " + Describe(*fields));
  if (!sent) return;
  // Closing while the client may still write would reset the connection and could lose the reply.
  connection.ShutdownSend();
  connection.AwaitClientClose(2000);
}

}  // namespace sd::emulator
