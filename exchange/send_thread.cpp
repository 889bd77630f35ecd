// The exchange thread. Its outcome reaches ExchangeResult only through the exchange event, and only
// while its operation still waits for it; a thread that outlived its operation changes nothing.
#include "exchange/send_thread.h"

#include <algorithm>
#include <exception>

#include "exchange/exchange_event.h"
#include "exchange/exchange_module.h"
#include "log/operation_log.h"
#include "smartdriver/cp1251.h"
#include "smartdriver/errors.h"
#include "transport/tcp_client.h"
#include "transport/transport_errors.h"

namespace sd::exchange {
namespace {

using namespace sd::literals;

constexpr std::string_view kLink = "[СВЯЗЬ] "_w;
constexpr std::string_view kFailurePrefix = "Ошибка связи с сервером: "_w;

void Log(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
  std::string line(a);
  line += b;
  line += c;
  log::WriteLog(line);
}

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

void tSendThread::Start(tSendThread thread) {
  LaunchExchangeThread([t = std::move(thread)]() mutable { t.Execute(); });
}

void tSendThread::Execute() {
  ExchangeEvent& event = TheExchangeEvent();
  event.IfCurrent(Exchange, [] {
    ExchangeResult.Status = 0;
    ExchangeResult.ErrorText.clear();
    ExchangeResult.CardNumber = 0;
  });

  // Once the result is handed over, nothing that follows (the disconnect) may change it.
  bool handed_over = false;
  std::string failure;
  try {
    transport::TcpClient client;
    client.SetPort(ServerPort);
    client.SetHost(Host);
    // Both limits end with the operation's wait, so no server can hold this thread beyond it.
    client.SetConnectTimeout(MillisecondsLeft(Deadline));
    Log(kLink, "Соединение... (IP "_w,
        client.Host() + std::string("; Порт "_w) + std::to_string(client.Port()));
    client.OpenConnection();
    if (!client.IsConnected()) throw transport::TransportError("Connection Closed Gracefully.");
    try {
      Log(kLink, "Соединение установлено"_w);
      client.SendBytes(RequestFrame);
      Log(kLink, "Пакет отправлен ("_w, std::to_string(RequestFrame.size()) + std::string(" байт)"_w));
      Log(kLink, "данные:"_w, HexDump(RequestFrame));

      Bytes reply;
      client.SetReadTimeout(MillisecondsLeft(Deadline));
      client.ReceiveBytes(reply, -1, true);
      if (reply.empty()) throw transport::TransportError("Read Timeout");
      Log(kLink, "Пакет принят ("_w, std::to_string(reply.size()) + std::string(" байт)"_w));
      Log(kLink, "данные:"_w, HexDump(reply));

      // Fields that this reply does not carry keep the values of the last reply that did.
      ExchangeResultData decoded;
      event.IfCurrent(Exchange, [&] { decoded = ExchangeResult; });
      DecodeReply(reply, decoded);
      handed_over = event.Publish(Exchange, [&] {
        ExchangeResult.Status = 1;
        ExchangeResult.ErrorText.clear();
        ExchangeResult.CardNumber = decoded.CardNumber;
        ExchangeResult.DiscountTenths = decoded.DiscountTenths;
        ExchangeResult.DiscountedPrice = decoded.DiscountedPrice;
        ExchangeResult.Approval = decoded.Approval;
      });
    } catch (...) {
      // The disconnect runs on the way out as well; a failure of its own replaces the one under way.
      client.CloseConnection();
      Log(kLink, "Отключение от сервера"_w);
      throw;
    }
    client.CloseConnection();
    Log(kLink, "Отключение от сервера"_w);
    return;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "Unknown error";
  }

  try {
    Log(kLink, kFailurePrefix, failure);
  } catch (...) {
    // The failure line could not be written: the thread ends without a word, as the operation's wait
    // then ends in its time-out.
    return;
  }
  if (handed_over) return;
  const std::string text = std::string(kFailurePrefix) + failure;
  event.Publish(Exchange, [&] {
    ExchangeResult.Status = -1;
    ExchangeResult.ErrorText = text;
  });
}

}  // namespace sd::exchange
