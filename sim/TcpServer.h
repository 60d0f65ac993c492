#pragma once
// The supply's network bridge: a Modbus TCP listener on a libmodbus socket. Requests are cut out
// of each connection by their MBAP length; answers leave through a per-connection queue so that
// they can be held back.

#include <poll.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PacedOutput.h"

namespace kpxsim {

struct TcpRequest {
  int Client;
  std::vector<uint8_t> Adu;  // MBAP header, unit identifier and PDU
  double ArrivedMs;
};

class TcpServer {
 public:
  TcpServer() = default;
  ~TcpServer() { Close(); }
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Port 0 picks a free port; Port() tells which.
  bool Listen(const std::string& address, uint16_t port, std::string* error);
  // Drops every connection and stops listening.
  void Close();
  const std::string& Address() const { return address_; }
  uint16_t Port() const { return port_; }

  void AddPollFds(std::vector<pollfd>& fds) const;
  // Accepts and reads what it can without waiting; returns the complete requests.
  std::vector<TcpRequest> Receive(double nowMs);
  void Send(int client, std::vector<uint8_t> bytes, double dueMs);
  // Writes the answers that are due.
  void Flush(double nowMs);
  // Closes the connections that have neither sent a request nor had an answer leave for the last
  // idleMs (a bridge that drops idle clients); the number closed.
  int CloseIdle(double nowMs, double idleMs);
  double NextDueMs() const;

 private:
  struct Connection {
    int Fd;
    std::vector<uint8_t> In;
    PacedOutput Out;
    double LastActiveMs = 0;
  };
  void Drop(int client);

  int listener_ = -1;
  std::string address_;
  uint16_t port_ = 0;
  int nextClient_ = 1;
  std::map<int, Connection> connections_;
};

}  // namespace kpxsim
