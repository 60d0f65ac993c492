// Round trips per second and CPU per round trip of a 10-register read through the Modbus master,
// against a libmodbus slave on a pseudo-terminal and over loopback TCP, and the CPU a connected,
// idle program uses. The slave's own thread is measured apart and left out.
//
//   kelvora_modbus_bench [round trips, default 5000] [idle seconds, default 3]

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

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

// Issues the next read from the previous one's callback, as the scheduler does.
void RoundTrips(const char* name, TKRModbusMaster& master, TMBType type, TModbusPeer& peer,
                int count) {
  int done = 0, errors = 0;
  std::function<void()> next;
  next = [&] {
    master.ReadHoldingRegisters(type, 1, 0, 10, [&](int32_t e, void*) {
      if (e != 0) ++errors;
      if (++done < count) next();
      else QCoreApplication::exit(0);
    });
  };
  const TCpu c0 = ProcessCpu();
  const double p0 = peer.ThreadCpuSeconds();
  const double t0 = Now();
  QTimer::singleShot(0, next);
  QCoreApplication::exec();
  const double wall = Now() - t0;
  const TCpu c1 = ProcessCpu();
  const double peerCpu = peer.ThreadCpuSeconds() - p0;
  const double ours = (c1.User - c0.User) + (c1.Sys - c0.Sys) - peerCpu;
  std::printf("%-4s %6d round trips, %d errors: %8.0f per second, %6.1f us wall, "
              "our CPU %5.1f us per round trip (user %.3f s, sys %.3f s, slave %.3f s)\n",
              name, count, errors, count / wall, wall / count * 1e6, ours / count * 1e6,
              c1.User - c0.User, c1.Sys - c0.Sys, peerCpu);
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
    master.SetActive(true);
    if (!c.Connected()) return 1;
    RoundTrips("RTU", master, mbtRTU, slave, count);
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
    master.SetActive(true);
    if (!c.Connected()) return 1;
    RoundTrips("TCP", master, mbtTCP, server, count);
    Idle("TCP", server, idle);
    master.SetActive(false);
  }
  return 0;
}
