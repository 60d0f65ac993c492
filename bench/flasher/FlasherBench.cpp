// flasher_bench [SIZE] [RUNS]: writes and verifies a SIZE-byte image (default 65536) through
// kpx-sim --baud 38400, once with TSTM32_Flasher and once with stm32flash -m 8n1 -w FILE -v,
// RUNS times each (default 1), and prints the times next to the wire limit.

#include "flasher/stm32_flasher.h"
#include "modbus/KRCOMPort.h"
#include "modbus/KRCRC.h"
#include "tests/support/SimProcess.h"

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

using kelvora::test::SimProcess;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void JumpToBootloader(const std::string& pty) {
  TKRCOMPort port;
  port.SetPort(QString::fromStdString(pty));
  port.SetBaudRate(9600);
  if (!port.Open()) return;
  uint8_t frame[8] = {1, 6, 0, 32, 9148 >> 8, 9148 & 0xFF, 0, 0};
  const uint16_t crc = KRCRC16(frame, 6);
  frame[6] = static_cast<uint8_t>(crc & 0xFF);
  frame[7] = static_cast<uint8_t>(crc >> 8);
  port.Write(frame, sizeof frame);
  port.WaitForInput(100);
}

SimProcess StartSim(const QTemporaryDir& dir) {
  return SimProcess({"--rtu", dir.filePath("pty").toStdString(), "--baud", "38400"});
}

double OurFlasher(const QTemporaryDir& dir, const QString& image) {
  SimProcess sim = StartSim(dir);
  JumpToBootloader(sim.PtyPath());
  TKRCOMPort port;
  port.SetPort(QString::fromStdString(sim.PtyPath()));
  port.SetBaudRate(38400);
  port.SetParity(2);
  if (!port.Open()) return -1;
  TSTM32_Flasher flasher(&port);
  QString last;
  flasher.SetOnWriteln([&last](void*, const QString& line) { last = line; });
  const auto start = std::chrono::steady_clock::now();
  const bool ok = flasher.FlashFile(image, true);
  const double s = Seconds(start);
  if (!ok) std::printf("our flasher failed: %s\n", qPrintable(last));
  return ok ? s : -1;
}

double Stm32flash(const QTemporaryDir& dir, const QString& image) {
  SimProcess sim = StartSim(dir);
  JumpToBootloader(sim.PtyPath());
  const std::string cmd = "stm32flash -m 8n1 -b 38400 -w " + image.toStdString() + " -v " + sim.PtyPath() +
                          " > " + dir.filePath("stm32flash.log").toStdString() + " 2>&1";
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(cmd.c_str());
  const double s = Seconds(start);
  if (rc != 0) std::printf("stm32flash failed, see %s\n", qPrintable(dir.filePath("stm32flash.log")));
  return rc == 0 ? s : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int size = argc > 1 ? std::atoi(argv[1]) : 65536;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
  QTemporaryDir dir;
  const QString image = dir.filePath("image.bin");
  {
    std::mt19937 gen(42);
    QByteArray bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
    QFile f(image);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != size) return 1;
  }
  // Our exchange: per written block command, address and data frames with their ACKs; per
  // read-back block command, address and count frames with their ACKs and the data; around
  // them activation, Get, Get ID, mass erase and Go.
  const long blocks = (size + 255) / 256;
  const long lineBytes = blocks * (3 + 6 + 259) + blocks * (3 + 6 + 3) + size + 2 + (3 + 12) + (3 + 4) +
                         (3 + 4) + (3 + 6);
  std::printf("image %d bytes, %ld blocks; our exchange %ld bytes on the line, wire limit %.2f s at 38400 8E1\n",
              size, blocks, lineBytes, static_cast<double>(lineBytes) * 11 / 38400);
  for (int r = 0; r < runs; ++r) {
    std::printf("run %d: TSTM32_Flasher %.2f s\n", r + 1, OurFlasher(dir, image));
    std::fflush(stdout);
    std::printf("run %d: stm32flash     %.2f s\n", r + 1, Stm32flash(dir, image));
    std::fflush(stdout);
  }
  return 0;
}
