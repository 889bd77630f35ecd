// The exchange thread. Its outcome reaches the operation only through the exchange event, and only
// while the operation still waits for it; a thread that outlived its operation changes nothing.
#include "exchange/send_thread.h"

#include <algorithm>
#include <exception>
#include <type_traits>
#include <utility>

#include "exchange/exchange_event.h"
#include "exchange/exchange_module.h"
#include "log/log_lines.h"
#include "log/operation_log.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/errors.h"
#include "transport/tcp_client.h"
#include "transport/transport_errors.h"

namespace sd::exchange {
namespace {

using namespace sd::literals;

using log::LogLine;

// A line's fields are made only while the log is on: with it off, the texts and the dumps of the frames
// would only hold back the hand-over of the reply, and the writer would drop them unread.
template <typename Fields>
std::string LineWith(LogLine line, Fields&& fields) {
  if constexpr (std::is_convertible_v<Fields, std::string_view>) {
    return log::Line(line, fields);
  } else {
    return log::Line(line, fields());
  }
}

// A line before the request goes out: a failing write ends the exchange.
template <typename Fields = std::string_view>
void Log(LogLine line, Fields&& fields = {}) {
  if (log::LogEnabled()) log::WriteLog(LineWith(line, std::forward<Fields>(fields)));
}

// A line once the request has gone out: the server may already have acted on it, so a failing write
// is lost rather than turning the server's answer into a failure.
template <typename Fields = std::string_view>
void LogSent(LogLine line, Fields&& fields = {}) {
  if (log::LogEnabled()) log::TryWriteLog(LineWith(line, std::forward<Fields>(fields)));
}

std::string ByteCount(std::size_t count) { return std::to_string(count) + std::string(" байт)"_w); }

// The thread's own limits run a little past the operation's wait, so that a server that never answers
// ends in the operation's time-out message rather than in a failure of the thread that happens to be
// handed over first; by then nobody waits for the thread, and it only logs.
constexpr std::chrono::milliseconds kGrace(250);

// Milliseconds left until the deadline and its grace, at least 1: a limit of 0 would mean "no limit".
int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline + kGrace -
                                                                          std::chrono::steady_clock::now())
                        .count();
  return static_cast<int>(std::clamp<long long>(left, 1, 0x7FFFFFFF));
}

}  // namespace

Bytes ReceiveReply(transport::TcpClient& client, std::chrono::steady_clock::time_point deadline) {
  Bytes reply;
  const auto enough = static_cast<std::size_t>(std::max(client.RecvBufferSize(), 1));
  for (;;) {
    const std::size_t before = reply.size();
    client.SetReadTimeout(MillisecondsLeft(deadline));
    client.ReceiveBytes(reply, -1, true);
    if (reply.size() == before) throw transport::TransportError("Read Timeout");
    if (std::find(reply.begin() + static_cast<std::ptrdiff_t>(before), reply.end(), kFrameEnd) != reply.end() ||
        reply.size() >= enough)
      return reply;
  }
}

std::string LoggedFailure(std::string_view reason) {
  Log(LogLine::LinkFailure, reason);
  return std::string(kExchangeFailurePrefix) + std::string(reason);
}

namespace {
std::string LoggedFailureAfterSending(std::string_view reason) {
  LogSent(LogLine::LinkFailure, reason);
  return std::string(kExchangeFailurePrefix) + std::string(reason);
}
}  // namespace

Launched tSendThread::Start(tSendThread thread) {
  const auto deadline = thread.Deadline;
  return LaunchExchangeThread([t = std::move(thread)]() mutable { t.Execute(); }, deadline);
}

void tSendThread::Execute() {
  ExchangeEvent& event = TheExchangeEvent();
  // Once the result is handed over, nothing that follows (the disconnect) may change it.
  bool handed_over = false;
  // From the moment the request may have reached the server, the log can no longer fail the exchange.
  bool sent = false;
  std::string failure;
  try {
    transport::TcpClient client;
    client.SetPort(ServerPort);
    client.SetHost(Host);
    // Both limits end with the operation's wait, so no server can hold this thread beyond it.
    client.SetConnectTimeout(MillisecondsLeft(Deadline));
    Log(LogLine::Connecting,
        [&] { return client.Host() + std::string("; Порт "_w) + std::to_string(client.Port()); });
    client.OpenConnection();
    if (!client.IsConnected()) throw transport::TransportError("Connection Closed Gracefully.");
    try {
      Log(LogLine::Connected);
      sent = true;
      client.SendBytes(RequestFrame);
      LogSent(LogLine::Sent, [&] { return ByteCount(RequestFrame.size()); });
      LogSent(LogLine::Dump, [&] { return HexDump(RequestFrame); });

      const Bytes reply = ReceiveReply(client, Deadline);
      LogSent(LogLine::Received, [&] { return ByteCount(reply.size()); });
      LogSent(LogLine::Dump, [&] { return HexDumpLimited(reply); });

      ExchangeResult outcome;
      try {
        outcome.Reply = DecodeReply(reply);
      } catch (const ReplyRejected& e) {
        // The decoder's own line comes before the disconnect and the thread's failure line.
        LogSent(e.Line(), e.Detail());
        throw;
      }
      outcome.Decoded = true;
      handed_over = event.Publish(Exchange, std::move(outcome));
    } catch (...) {
      // The disconnect runs on the way out as well; a failure of its own replaces the one under way.
      client.CloseConnection();
      LogSent(LogLine::Disconnected);
      throw;
    }
    client.CloseConnection();
    LogSent(LogLine::Disconnected);
    return;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "Unknown error";
  }

  ExchangeResult outcome;
  if (sent) {
    outcome.ErrorText = LoggedFailureAfterSending(failure);
  } else {
    try {
      outcome.ErrorText = LoggedFailure(failure);
    } catch (...) {
      // The failure line could not be written before anything was sent: the thread ends without a
      // word, as the operation's wait then ends in its time-out.
      return;
    }
  }
  if (handed_over) return;
  event.Publish(Exchange, std::move(outcome));
}

}  // namespace sd::exchange
