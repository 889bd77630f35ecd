// The emulator's sockets and threads: one acceptor for both ports, one thread per connection, a pipe
// that wakes every waiting thread when the emulator stops.
#include "tools/emulator/emulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace sd::emulator {
namespace {

constexpr std::size_t kMaxFrame = 1024;  // a request without a terminator by then is taken as it is

[[noreturn]] void ThrowErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

int Listen(int port, int& bound_port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) ThrowErrno("socket");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    ThrowErrno("listen on 127.0.0.1:" + std::to_string(port));
  }
  bound_port = ntohs(address.sin_port);
  return fd;
}

bool SendAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

const char* ServerName(Server server) { return server == Server::Discount ? "discount" : "cashless"; }

Emulator::Emulator(EmulatorOptions options) : options_(std::move(options)) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) ThrowErrno("pipe");
  wake_read_ = pipe_fds[0];
  wake_write_ = pipe_fds[1];
  try {
    discount_fd_ = Listen(options_.discount_port, discount_port_);
    cashless_fd_ = Listen(options_.cashless_port, cashless_port_);
  } catch (...) {
    for (int fd : {discount_fd_, wake_read_, wake_write_})
      if (fd >= 0) ::close(fd);
    throw;
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

Emulator::~Emulator() { Stop(); }

void Emulator::Stop() {
  if (stopped_.exchange(true)) return;
  // The byte is never read, so the pipe stays readable and wakes every poll from now on.
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wake_write_, &byte, 1);
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& worker : workers_) worker.thread.join();
  workers_.clear();
  for (int fd : {discount_fd_, cashless_fd_, wake_read_, wake_write_}) ::close(fd);
}

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

bool Emulator::PauseUnlessStopped(int ms) const {
  pollfd wake{wake_read_, POLLIN, 0};
  return ::poll(&wake, 1, ms) == 0;
}

void Emulator::AcceptLoop() {
  while (!stopped_) {
    pollfd fds[3] = {{discount_fd_, POLLIN, 0}, {cashless_fd_, POLLIN, 0}, {wake_read_, POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0 && errno != EINTR) break;
    if (fds[2].revents != 0) break;
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & POLLIN) == 0) continue;
      const int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      auto done = std::make_shared<std::atomic<bool>>(false);
      const Server server = i == 0 ? Server::Discount : Server::Cashless;
      workers_.push_back({std::thread([this, fd, server, done] {
                            Serve(fd, server);
                            *done = true;
                          }),
                          done});
    }
    // Finished connection threads are joined here so that a long run does not collect them.
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (*it->done) {
        it->thread.join();
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
}

bool Emulator::ReadFrame(int fd, Bytes& frame, const std::string& who) {
  std::uint8_t buffer[512];
  while (frame.size() < kMaxFrame) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake_read_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[1].revents != 0) return false;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Print(who + " receive failed: " + std::strerror(errno));
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

void Emulator::Serve(int fd, Server server) {
  Bytes frame;
  const std::string where = std::string("[") + ServerName(server);
  if (!ReadFrame(fd, frame, where + "]")) {
    ::close(fd);
    return;
  }
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
  Act(fd, record, plan, who);
  ::close(fd);
}

void Emulator::Act(int fd, const ExchangeRecord& record, const ReplyPlan& plan, const std::string& who) {
  if (plan.delay_ms.value_or(0) > 0) {
    Print(who + " waiting " + std::to_string(*plan.delay_ms) + " ms");
    if (!PauseUnlessStopped(*plan.delay_ms)) return;
  }
  switch (record.fault) {
    case Fault::Silent:
      Print(who + " staying silent");
      WaitForPeerClose(fd, -1);
      return;
    case Fault::Close:
      Print(who + " closing without an answer");
      return;
    case Fault::Reset: {
      Print(who + " resetting the connection");
      const linger hard{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      return;
    }
    default:
      break;
  }
  const Bytes& reply = record.reply;
  bool sent;
  if (record.fault == Fault::Split) {
    const std::size_t half = reply.size() / 2;
    sent = SendAll(fd, reply.data(), half) && PauseUnlessStopped(options_.split_pause_ms) &&
           SendAll(fd, reply.data() + half, reply.size() - half);
  } else {
    sent = SendAll(fd, reply.data(), reply.size());
  }
  std::string how = record.fault == Fault::None ? "" : std::string(" (") + FaultName(record.fault) + ")";
  Print(who + (sent ? " sent " : " could not send ") + std::to_string(reply.size()) + " bytes" + how +
        ": " + sd::exchange::HexDump(reply));
  if (auto fields = ParseReply(reply)) Print(who + " reply: " + Describe(*fields));
  if (!sent) return;
  // Closing while the client may still write would reset the connection and could lose the reply.
  ::shutdown(fd, SHUT_WR);
  WaitForPeerClose(fd, 2000);
}

void Emulator::WaitForPeerClose(int fd, int ms) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::uint8_t buffer[256];
  for (;;) {
    int wait = -1;
    if (ms >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) return;
      wait = static_cast<int>(left);
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake_read_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || fds[1].revents != 0) return;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EINTR)) return;
  }
}

}  // namespace sd::emulator
