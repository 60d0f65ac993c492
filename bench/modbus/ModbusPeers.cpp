#include "bench/modbus/ModbusPeers.h"

#include <modbus.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

TModbusPeer::TModbusPeer(int ARegisters) {
  fMapping = modbus_mapping_new(0, 0, ARegisters, 0);
  if (!fMapping) throw std::runtime_error("modbus_mapping_new");
}

TModbusPeer::~TModbusPeer() {
  Stop();
  if (fCtx) modbus_free(fCtx);
  modbus_mapping_free(fMapping);
}

void TModbusPeer::SetRegister(int AIndex, uint16_t AValue) {
  std::lock_guard lock(fMutex);
  fMapping->tab_registers[AIndex] = AValue;
}

uint16_t TModbusPeer::Register(int AIndex) {
  std::lock_guard lock(fMutex);
  return fMapping->tab_registers[AIndex];
}

double TModbusPeer::ThreadCpuSeconds() {
  clockid_t id;
  timespec t{};
  if (pthread_getcpuclockid(fThread.native_handle(), &id) != 0 || clock_gettime(id, &t) != 0)
    return 0;
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void TModbusPeer::Start() {
  modbus_set_indication_timeout(fCtx, 0, 20000);
  fThread = std::thread([this] {
    while (!fStop) ServeOne();
  });
}

void TModbusPeer::Stop() {
  fStop = true;
  if (fThread.joinable()) fThread.join();
}

void TModbusPeer::ServeOne() {
  if (!Ready()) return;
  uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
  const int rc = modbus_receive(fCtx, query);
  if (rc < 0) {
    // Time-out, or the other side is closed for now.
    if (errno != ETIMEDOUT) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return;
  }
  if (rc == 0) return;  // addressed to another slave
  ++Requests;
  if (Mute) return;
  if (DelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(DelayMs.load()));
  std::lock_guard lock(fMutex);
  modbus_reply(fCtx, query, rc, fMapping);
  ++Replies;
}

TPtyRtuSlave::TPtyRtuSlave(int ARegisters) : TModbusPeer(ARegisters) {
  fMaster = posix_openpt(O_RDWR | O_NOCTTY);
  if (fMaster < 0 || grantpt(fMaster) != 0 || unlockpt(fMaster) != 0)
    throw std::runtime_error("pseudo-terminal");
  char name[128];
  if (ptsname_r(fMaster, name, sizeof name) != 0) throw std::runtime_error("ptsname");
  fPath = name;
  // The device name is only a formality: libmodbus drives the master we hand it.
  fCtx = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
  modbus_set_slave(fCtx, 1);
  modbus_set_socket(fCtx, fMaster);
  Start();
}

TPtyRtuSlave::~TPtyRtuSlave() {
  Stop();
  ::close(fMaster);
}

TTcpModbusServer::TTcpModbusServer(int ARegisters) : TModbusPeer(ARegisters) {
  fCtx = modbus_new_tcp("127.0.0.1", 0);
  fListen = modbus_tcp_listen(fCtx, 1);
  if (fListen < 0) throw std::runtime_error("modbus_tcp_listen");
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fListen, reinterpret_cast<sockaddr*>(&a), &len);
  fPort = ntohs(a.sin_port);
  modbus_set_socket(fCtx, -1);
  Start();
}

TTcpModbusServer::~TTcpModbusServer() {
  Stop();
  if (fClient >= 0) ::close(fClient);
  ::close(fListen);
}

bool TTcpModbusServer::Ready() {
  if (fClient >= 0) {
    // A closed client shows as readable with nothing to read.
    pollfd p{fClient, POLLIN, 0};
    char c;
    if (poll(&p, 1, 0) == 1 && recv(fClient, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
      ::close(fClient);
      fClient = -1;
      modbus_set_socket(fCtx, -1);
    } else {
      return true;
    }
  }
  pollfd p{fListen, POLLIN, 0};
  if (poll(&p, 1, 20) != 1) return false;
  fClient = accept(fListen, nullptr, nullptr);
  if (fClient < 0) return false;
  modbus_set_socket(fCtx, fClient);
  return true;
}
