#include "sim/TcpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <modbus/modbus-tcp.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>

namespace kpxsim {

namespace {
constexpr size_t kMbapHeader = 6;  // transaction, protocol, length; the length counts the rest
constexpr size_t kMaxAdu = 260;

struct ModbusFree {
  void operator()(modbus_t* ctx) const { modbus_free(ctx); }
};
}  // namespace

bool TcpServer::Listen(const std::string& address, uint16_t port, std::string* error) {
  Close();
  in_addr parsed{};
  if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
    if (error) *error = "not an IPv4 address: " + address;
    return false;
  }
  std::unique_ptr<modbus_t, ModbusFree> ctx(modbus_new_tcp(address.c_str(), port));
  if (!ctx) {
    if (error) *error = "bad TCP address " + address;
    return false;
  }
  listener_ = modbus_tcp_listen(ctx.get(), 8);
  if (listener_ < 0) {
    if (error) *error = "cannot listen on " + address + ":" + std::to_string(port) + ": " +
                        modbus_strerror(errno);
    return false;
  }
  // The listener outlives the context, which would otherwise close it.
  modbus_set_socket(ctx.get(), -1);
  ::fcntl(listener_, F_SETFL, ::fcntl(listener_, F_GETFL) | O_NONBLOCK);
  ::fcntl(listener_, F_SETFD, FD_CLOEXEC);
  sockaddr_in bound{};
  socklen_t len = sizeof bound;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &len);
  address_ = address;
  port_ = ntohs(bound.sin_port);
  return true;
}

void TcpServer::Close() {
  for (auto& [id, c] : connections_) ::close(c.Fd);
  connections_.clear();
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
}

void TcpServer::AddPollFds(std::vector<pollfd>& fds) const {
  if (listener_ >= 0) fds.push_back({listener_, POLLIN, 0});
  for (const auto& [id, c] : connections_) fds.push_back({c.Fd, POLLIN, 0});
}

void TcpServer::Drop(int client) {
  const auto it = connections_.find(client);
  if (it == connections_.end()) return;
  ::close(it->second.Fd);
  connections_.erase(it);
}

std::vector<TcpRequest> TcpServer::Receive(double nowMs) {
  std::vector<TcpRequest> requests;
  if (listener_ < 0) return requests;
  for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;)
    connections_.emplace(nextClient_++, Connection{fd, {}, PacedOutput(), nowMs});

  std::vector<int> closed;
  for (auto& [id, c] : connections_) {
    uint8_t buf[512];
    ssize_t n;
    while ((n = ::read(c.Fd, buf, sizeof buf)) > 0) {
      c.In.insert(c.In.end(), buf, buf + n);
      c.LastActiveMs = nowMs;
    }
    const bool ended = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
    if (ended) closed.push_back(id);
    while (c.In.size() >= kMbapHeader) {
      const size_t length = static_cast<size_t>(c.In[4] << 8 | c.In[5]);
      // A length that no Modbus frame has means the stream is not Modbus TCP.
      if (length < 2 || kMbapHeader + length > kMaxAdu) {
        closed.push_back(id);
        break;
      }
      if (c.In.size() < kMbapHeader + length) break;
      const auto end = c.In.begin() + static_cast<std::ptrdiff_t>(kMbapHeader + length);
      requests.push_back({id, std::vector<uint8_t>(c.In.begin(), end), nowMs});
      c.In.erase(c.In.begin(), end);
    }
  }
  for (int id : closed) Drop(id);
  return requests;
}

void TcpServer::Flush(double nowMs) {
  std::vector<int> closed;
  for (auto& [id, c] : connections_)
    if (!c.Out.Flush(c.Fd, nowMs)) closed.push_back(id);
  for (int id : closed) Drop(id);
}

int TcpServer::CloseIdle(double nowMs, double idleMs) {
  if (idleMs <= 0) return 0;
  std::vector<int> idle;
  for (auto& [id, c] : connections_) {
    if (c.Out.NextDueMs() != std::numeric_limits<double>::infinity()) c.LastActiveMs = nowMs;
    else if (nowMs - c.LastActiveMs >= idleMs) idle.push_back(id);
  }
  for (int id : idle) Drop(id);
  return static_cast<int>(idle.size());
}

void TcpServer::Send(int client, std::vector<uint8_t> bytes, double dueMs) {
  const auto it = connections_.find(client);
  if (it != connections_.end()) it->second.Out.Enqueue(std::move(bytes), dueMs);
}

double TcpServer::NextDueMs() const {
  double due = std::numeric_limits<double>::infinity();
  for (const auto& [id, c] : connections_) due = std::min(due, c.Out.NextDueMs());
  return due;
}

}  // namespace kpxsim
