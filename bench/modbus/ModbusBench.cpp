// Round trips per second and CPU per round trip of a 10-register read through the Modbus master,
// against a libmodbus slave on a pseudo-terminal and over loopback TCP, and the CPU a connected,
// idle program uses. The slave's own thread is measured apart and left out. libmodbus's own
// client runs the same loop against the same slave, in turns with ours, for the ratio of the two.
//
//   kelvora_modbus_bench [round trips, default 5000] [idle seconds, default 3]

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <modbus.h>

#include "bench/modbus/ModbusPeers.h"
#include "modbus/KRCOMPortConnector.h"
#include "modbus/KRModbusMaster.h"
#include "modbus/KRTCPConnector.h"

namespace {

struct TCpu {
  double User = 0, Sys = 0;
};

TCpu ProcessCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return {double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) * 1e-6,
          double(u.ru_stime.tv_sec) + double(u.ru_stime.tv_usec) * 1e-6};
}

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// What a run of round trips cost; runs add up.
struct TTrips {
  int Count = 0, Errors = 0;
  double Wall = 0, User = 0, Sys = 0, Peer = 0;  // seconds

  TTrips& operator+=(const TTrips& o) {
    Count += o.Count;
    Errors += o.Errors;
    Wall += o.Wall;
    User += o.User;
    Sys += o.Sys;
    Peer += o.Peer;
    return *this;
  }
  // Our CPU per round trip: the process's, less the slave thread's, in microseconds.
  double CpuUs() const { return Count ? (User + Sys - Peer) / Count * 1e6 : 0; }
  void Print(const char* name) const {
    std::printf("%-13s %6d round trips, %d errors: %8.0f per second, %6.1f us wall, "
                "CPU %5.1f us per round trip (user %.3f s, sys %.3f s, slave %.3f s)\n",
                name, Count, Errors, Count / Wall, Wall / Count * 1e6, CpuUs(), User, Sys, Peer);
  }
};

// Measures aLoop, which makes aCount round trips and returns the errors.
TTrips Measure(TModbusPeer& peer, int count, const std::function<int()>& loop) {
  const TCpu c0 = ProcessCpu();
  const double p0 = peer.ThreadCpuSeconds();
  const double t0 = Now();
  const int errors = loop();
  const double wall = Now() - t0;
  const TCpu c1 = ProcessCpu();
  return {count, errors, wall, c1.User - c0.User, c1.Sys - c0.Sys, peer.ThreadCpuSeconds() - p0};
}

// Issues the next read from the previous one's callback, as the scheduler does.
TTrips RoundTrips(TKRModbusMaster& master, TMBType type, TModbusPeer& peer, int count) {
  return Measure(peer, count, [&] {
    int done = 0, errors = 0;
    std::function<void()> next;
    next = [&] {
      master.ReadHoldingRegisters(type, 1, 0, 10, [&](int32_t e, void*) {
        if (e != 0) ++errors;
        if (++done < count) next();
        else QCoreApplication::exit(0);
      });
    };
    QTimer::singleShot(0, next);
    QCoreApplication::exec();
    return errors;
  });
}

// The same loop through libmodbus's own client, which blocks in its read instead.
TTrips LibmodbusRoundTrips(modbus_t* ctx, TModbusPeer& peer, int count) {
  TTrips none;
  if (!ctx) return none;
  modbus_set_slave(ctx, 1);
  modbus_set_response_timeout(ctx, 1, 0);
  if (modbus_connect(ctx) != 0) {
    modbus_free(ctx);
    return none;
  }
  const TTrips trips = Measure(peer, count, [&] {
    uint16_t regs[10];
    int errors = 0;
    for (int i = 0; i < count; ++i)
      if (modbus_read_registers(ctx, 0, 10, regs) != 10) ++errors;
    return errors;
  });
  modbus_close(ctx);
  modbus_free(ctx);
  return trips;
}

// On a shared machine the load changes from second to second: the two clients take turns in
// short runs, so that both meet the same load, and their sums are compared.
constexpr int kTurns = 10;

bool Compare(const char* name, TKRModbusMaster& master, TKRConnector& connector, TMBType type,
             TModbusPeer& peer, int count, const std::function<modbus_t*()>& libmodbus) {
  TTrips ours, theirs;
  for (int turn = 0; turn < kTurns; ++turn) {
    master.SetActive(true);
    if (!connector.Connected()) return false;
    ours += RoundTrips(master, type, peer, count / kTurns);
    master.SetActive(false);  // the port or server takes one client at a time
    theirs += LibmodbusRoundTrips(libmodbus(), peer, count / kTurns);
  }
  ours.Print(name);
  theirs.Print((std::string(name) + " libmodbus").c_str());
  if (theirs.Count == count - count % kTurns)
    std::printf("%-13s ours / libmodbus CPU per round trip: %.2f\n", name, ours.CpuUs() / theirs.CpuUs());
  return true;
}

void Idle(const char* name, TModbusPeer& peer, int seconds) {
  const TCpu c0 = ProcessCpu();
  const double p0 = peer.ThreadCpuSeconds();
  QTimer::singleShot(seconds * 1000, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
  const TCpu c1 = ProcessCpu();
  const double ours = (c1.User - c0.User) + (c1.Sys - c0.Sys) - (peer.ThreadCpuSeconds() - p0);
  std::printf("%-4s connected and idle for %d s: our CPU %.2f ms (%.3f %% of one core)\n", name,
              seconds, ours * 1e3, ours / seconds * 100);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int idle = argc > 2 ? std::atoi(argv[2]) : 3;
  {
    TPtyRtuSlave slave;
    TKRCOMPortConnector c;
    c.SetPort(QString::fromStdString(slave.Path()));
    c.SetBaudRate(115200);
    c.SetReadTimeout(500);
    c.SetWriteTimeout(500);
    c.SetWaitRespTime(1000);
    TKRModbusMaster master;
    master.SetConnector(&c);
    const auto client = [&] { return modbus_new_rtu(slave.Path().c_str(), 115200, 'N', 8, 1); };
    if (!Compare("RTU", master, c, mbtRTU, slave, count, client)) return 1;
    master.SetActive(true);
    Idle("RTU", slave, idle);
    master.SetActive(false);
  }
  {
    TTcpModbusServer server;
    TKRTCPConnector c;
    c.SetIP("127.0.0.1");
    c.SetPort(server.Port());
    TKRModbusMaster master;
    master.SetConnector(&c);
    const auto client = [&] { return modbus_new_tcp("127.0.0.1", server.Port()); };
    if (!Compare("TCP", master, c, mbtTCP, server, count, client)) return 1;
    master.SetActive(true);
    Idle("TCP", server, idle);
    master.SetActive(false);
  }
  return 0;
}
