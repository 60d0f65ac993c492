#pragma once
// Independent Modbus slaves (libmodbus) for tests and benchmarks: RTU on a pseudo-terminal whose
// slave path our serial port opens, and TCP on an ephemeral 127.0.0.1 port.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

struct _modbus;
struct _modbus_mapping_t;

class TModbusPeer {
 public:
  virtual ~TModbusPeer();
  void SetRegister(int AIndex, uint16_t AValue);
  uint16_t Register(int AIndex);

  std::atomic<int> DelayMs{0};     // pause before each reply
  std::atomic<bool> Mute{false};   // receive but never reply
  std::atomic<int> Requests{0};    // requests received
  std::atomic<int> Replies{0};     // answers sent
  // CPU seconds (user + system) the serving thread has used so far.
  double ThreadCpuSeconds();

 protected:
  explicit TModbusPeer(int ARegisters);
  // Serves one request if one arrives within the poll period.
  void ServeOne();
  void Start();
  void Stop();
  virtual bool Ready() { return true; }

  _modbus* fCtx = nullptr;
  _modbus_mapping_t* fMapping = nullptr;
  std::mutex fMutex;
  std::atomic<bool> fStop{false};
  std::thread fThread;
};

// libmodbus RTU slave 1 driving the master side of a pseudo-terminal.
class TPtyRtuSlave : public TModbusPeer {
 public:
  explicit TPtyRtuSlave(int ARegisters = 100);
  ~TPtyRtuSlave() override;
  const std::string& Path() const { return fPath; }

 private:
  int fMaster = -1;
  std::string fPath;
};

// libmodbus TCP server on 127.0.0.1, one client at a time.
class TTcpModbusServer : public TModbusPeer {
 public:
  explicit TTcpModbusServer(int ARegisters = 100);
  ~TTcpModbusServer() override;
  uint16_t Port() const { return fPort; }

 private:
  bool Ready() override;
  int fListen = -1;
  int fClient = -1;
  uint16_t fPort = 0;
};
