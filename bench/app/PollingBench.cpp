// polling_bench BAUD [SECONDS]: connects the main window (offscreen) to kpx-sim --baud BAUD over
// its pty and measures, over SECONDS of steady polling, the rounds per second (from the
// simulator's trace) against the wire limit, and the program's CPU (the simulator is a child
// process and not counted). Then libmodbus's own client polls the same simulator the same way
// (10 registers, 5 ms after each answer) for as long, and the two rates are set side by side.
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <modbus.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "core/KelvoraApplication.h"
#include "app/MainUnit.h"
#include "host/SettingsStore.h"
#include "tests/support/SimProcess.h"
#include "tests/support/SimTrace.h"

namespace {
// Runs the event loop as the program does (QTest's waits sleep between their rounds).
void RunFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// libmodbus's RTU client polling as the window does: read 10 registers from 0, wait 5 ms after
// each answer. False when it cannot open the port.
bool PollWithLibmodbus(const std::string& port, int baud, int seconds) {
  modbus_t* ctx = modbus_new_rtu(port.c_str(), baud, 'N', 8, 1);
  if (!ctx) return false;
  modbus_set_slave(ctx, 1);
  if (modbus_connect(ctx) != 0) {
    modbus_free(ctx);
    return false;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  uint16_t regs[10];
  while (std::chrono::steady_clock::now() < end) {
    modbus_read_registers(ctx, 0, 10, regs);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  modbus_close(ctx);
  modbus_free(ctx);
  return true;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: polling_bench BAUD [SECONDS]\n");
    return 2;
  }
  const int baud = std::atoi(argv[1]);
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
  QTemporaryDir home;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
  qputenv("KELVORA_PORTS_DIR", (home.path() + "/ports").toUtf8());
  if (qEnvironmentVariableIsEmpty("KELVORA_BIN_DIR"))
    qputenv("KELVORA_BIN_DIR", QCoreApplication::applicationDirPath().toUtf8());
  TKelvoraApplication app(argc, argv);
  qputenv("KELVORA_BIN_DIR", QCoreApplication::applicationDirPath().toUtf8());

  const QString trace = home.filePath("trace.jsonl");
  std::vector<std::string> simArgs{"--rtu", "bench", "--trace", trace.toStdString()};
  if (!qEnvironmentVariableIsSet("KELVORA_BENCH_UNPACED")) {
    simArgs.push_back("--baud");
    simArgs.push_back(std::to_string(baud));
  }
  kelvora::test::SimProcess sim(simArgs);
  RegWriteString("PORT", QString::fromStdString(sim.PtyPath()));
  auto form = std::make_unique<TMainForm>();
  form->show();
  auto* bauds = form->findChild<QComboBox*>("BaudComboBox");
  bauds->setCurrentIndex(bauds->findText(QString::number(baud)));
  form->findChild<QPushButton*>("ConnectBtn")->click();
  if (!QTest::qWaitFor([&] { return form->Connected(); }, 5000)) {
    std::fprintf(stderr, "no connection\n");
    return 1;
  }
  RunFor(1500);  // the first preset and global reads are done

  auto polls = [&] {
    return kelvora::test::SimTrace(trace).Requests(
        [](const kelvora::test::TraceEntry& e) { return e.Fc == 3 && e.Addr == 0 && e.Count == 10; });
  };
  // Rounds per second of the polls that came between two looks at the trace.
  auto rate = [](const auto& before, const auto& after) {
    const size_t first = before.size();
    if (after.size() < first + 2) return 0.0;
    return double(after.size() - first - 1) / ((after.back().T - after[first].T) / 1000.0);
  };
  const double limit = 1.0 / ((8 + 25) * 10.0 / baud + 0.005);

  const auto before = polls();
  const double cpu0 = CpuSeconds();
  RunFor(seconds * 1000);
  const double cpu = CpuSeconds() - cpu0;
  const auto after = polls();
  const double window = rate(before, after);
  const double span = (after.back().T - after[before.size()].T) / 1000.0;
  std::printf("baud %d: window %zu rounds in %.2f s = %.1f rounds/s; wire limit %.1f/s (%.1f %%); "
              "program CPU %.3f s = %.2f %% of one core\n",
              baud, after.size() - before.size(), span, window, limit, 100.0 * window / limit, cpu,
              100.0 * cpu / span);
  form->close();
  form.reset();  // disconnected: the port is free for the other client

  const auto peerBefore = polls();
  if (!PollWithLibmodbus(sim.PtyPath(), baud, seconds)) {
    std::fprintf(stderr, "libmodbus cannot open %s\n", sim.PtyPath().c_str());
    return 1;
  }
  const auto peerAfter = polls();
  const double peer = rate(peerBefore, peerAfter);
  std::printf("baud %d: libmodbus %zu rounds = %.1f rounds/s (%.1f %%); window / libmodbus = %.3f\n",
              baud, peerAfter.size() - peerBefore.size(), peer, 100.0 * peer / limit, window / peer);
  if (qEnvironmentVariableIsSet("KELVORA_BENCH_KEEP_TRACE")) QFile::copy(trace, "/tmp/polling-trace.jsonl");
  return 0;
}
