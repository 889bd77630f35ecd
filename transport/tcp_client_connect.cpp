// TcpClient's connect: the plain blocking one, and the one limited in time. The limited one waits for the
// outcome of a non-blocking attempt, so that it ends the moment the connection is made and costs no
// thread of its own; when the limit runs out first, the socket is closed and "Connect timed out." raised.
#include <string>

#include "transport/tcp_client.h"
#include "transport/tcp_connection.h"
#include "transport/transport_errors.h"
#include "transport/transport_texts.h"

namespace sd::transport {
namespace {

void ReadBack(TcpConnection& c, SocketHandle handle) {
  std::lock_guard<std::mutex> hold(c.socket_lock);
  if (c.Allocated()) {
    c.local = LocalEndpoint(handle);
    c.peer = PeerEndpoint(handle);
  }
}

}  // namespace

void TcpClient::Connect() {
  TcpConnection& c = *connection_;
  ConnectSocket(c.Handle(), c.peer.address, c.peer.port);
  ReadBack(c, c.Handle());
}

void TcpClient::ConnectWithTimeout(int limit_ms) {
  TcpConnection& c = *connection_;
  if (!ConnectSocketWithin(c.Handle(), c.peer.address, c.peer.port, limit_ms)) {
    CloseSocket();
    throw TransportError(std::string(Text(TransportText::kConnectTimedOut)));
  }
  ReadBack(c, c.Handle());
}

}  // namespace sd::transport
