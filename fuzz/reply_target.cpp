// Fuzz target: the reply path. The input is what a server sends, delivered over an in-memory socket
// table in pieces whose size the first byte chooses; the exchange's receive reads the reply as it does
// from a real server, and the codec decodes it. A reply is what came up to the delivery that brought
// the terminator, however TCP cut it, and decoding either gives a reply or rejects it with its message.
#include <algorithm>
#include <chrono>
#include <string>

#include "exchange/codec.h"
#include "exchange/send_thread.h"
#include "fuzz/targets.h"
#include "platform/sockets.h"
#include "transport/tcp_client.h"
#include "transport/transport_errors.h"

namespace sd::fuzz {
namespace {

using platform::SocketAddress;
using platform::SocketHandle;

// The server's side: the bytes still to come, the size of each delivery, and whether the server
// closes (or falls silent) once it has sent them all.
struct Peer {
  std::string_view stream;
  std::size_t sent = 0;
  std::size_t piece = 1;
  bool closes = true;
} peer;

constexpr SocketHandle kHandle = 7;

SocketHandle Socket(int, int, int) { return kHandle; }
int Succeed(SocketHandle, const SocketAddress&) { return 0; }
int ConnectWithin(SocketHandle, const SocketAddress&, int) { return 0; }
int SetOption(SocketHandle, int, int, const void*, int) { return 0; }
int Endpoint(SocketHandle, SocketAddress* address) {
  *address = SocketAddress{};
  address->address = {127, 0, 0, 1};
  address->port = 6010;
  return 0;
}
int Send(SocketHandle, const void*, int length) { return length; }
int Recv(SocketHandle, void* buffer, int length) {
  const std::size_t count = std::min({peer.piece, peer.stream.size() - peer.sent, static_cast<std::size_t>(length)});
  std::copy_n(peer.stream.data() + peer.sent, count, static_cast<char*>(buffer));
  peer.sent += count;
  return static_cast<int>(count);
}
// Readable while bytes are left or the server closes; a silent server lets every wait run out at once.
int Select(platform::HandleSet* set, const platform::WaitLimit*) {
  if (peer.sent < peer.stream.size() || peer.closes) return static_cast<int>(set->count);
  set->count = 0;
  return 0;
}
int Close(SocketHandle, int) { return 0; }
int CloseSocket(SocketHandle) { return 0; }

platform::SocketOps MemorySockets() {
  platform::SocketOps ops = platform::SystemSockets();
  ops.socket = Socket;
  ops.bind = ops.connect = Succeed;
  ops.connect_within = ConnectWithin;
  ops.setsockopt = SetOption;
  ops.getsockname = ops.getpeername = Endpoint;
  ops.send = Send;
  ops.recv = Recv;
  ops.select = Select;
  ops.shutdown = Close;
  ops.closesocket = CloseSocket;
  return ops;
}

bool IsPrefix(const exchange::Bytes& bytes, std::string_view of) {
  return bytes.size() <= of.size() && std::equal(bytes.begin(), bytes.end(), of.begin(),
                                                  [](std::uint8_t b, char c) { return b == static_cast<std::uint8_t>(c); });
}

}  // namespace

void FuzzReply(Input input) {
  if (input.empty()) return;
  static const platform::SocketOps ops = MemorySockets();
  platform::SetSockets(&ops);
  struct Restore {
    ~Restore() { platform::SetSockets(nullptr); }
  } restore;
  peer = Peer{AsText(input).substr(1), 0, static_cast<std::size_t>(input[0] & 0x3F) + 1, (input[0] & 0x80) == 0};

  exchange::Bytes reply;
  {
    transport::TcpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(6010);
    client.SetConnectTimeout(1000);
    client.OpenConnection();
    try {
      reply = exchange::ReceiveReply(client, std::chrono::steady_clock::now() + std::chrono::seconds(1));
    } catch (const transport::TransportError&) {
      // Nothing more came, or the server closed: whatever it sent had no terminator.
      Check(peer.stream.find('\xC0') == std::string_view::npos || peer.stream.size() >= 32768,
            "a terminated reply was not taken: " + Printable(peer.stream));
      return;
    }
  }
  Check(IsPrefix(reply, peer.stream), "the reply is not what the server sent");
  const auto terminator = std::find(reply.begin(), reply.end(), exchange::kFrameEnd);
  Check(terminator != reply.end() || reply.size() >= 32768, "a reply was taken before its terminator");
  // Whatever the cuts, a stream whose one terminator ends it is taken whole.
  if (peer.stream.find('\xC0') == peer.stream.size() - 1)
    Check(reply.size() == peer.stream.size(), "a reply cut short: " + Printable(peer.stream));

  Check(exchange::UnescapeBytes(exchange::EscapeBytes(reply)) == reply, "stuffing does not undo");
  try {
    const exchange::DecodedReply decoded = exchange::DecodeReply(reply);
    if (decoded.HasFields) Check(decoded.Type == 1 || decoded.Type == 3, "fields in a reply of another type");
    // The checksum's bytes are never read as fields, and a reply without fields leaves nothing to take.
    if (decoded.HasFields)
      Check(exchange::UnescapeBytes(reply).size() >= exchange::kRepliedFieldsSize,
            "fields read from a reply too short to hold them: " + Printable(peer.stream));
    else
      Check(decoded.Approval == 0 && decoded.DiscountedPrice == 0 && decoded.DiscountTenths == 0 &&
                decoded.CardNumber == 0,
            "values in a reply without fields");
    Check(decoded.CardNumber >= 0 && decoded.CardNumber < (std::int64_t{1} << 40), "a card beyond 40 bits");
  } catch (const exchange::ReplyRejected& e) {
    Check(!e.Message().empty(), "a rejection without its message");
    // However much noise came, the message shows at most the dump's limit of it.
    Check(e.Message().size() <= 3 * exchange::kDumpLimit + 200, "a rejection that dumps the whole noise");
  }
}

}  // namespace sd::fuzz
