#include "tests/flasher/FlasherSupport.h"

#include "modbus/KRCRC.h"

#include <QFile>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <stdexcept>
#include <thread>

namespace kelvora::test {

QByteArray RandomImage(int size, unsigned seed) {
  std::mt19937 gen(seed);
  QByteArray image(size, '\0');
  for (char& c : image) c = static_cast<char>(gen() & 0xFF);
  return image;
}

void WriteImage(const QString& path, const QByteArray& image) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
    throw std::runtime_error("cannot write " + path.toStdString());
}

QByteArray ReadImage(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList TraceLines(const QString& path) {
  return QString::fromUtf8(ReadImage(path)).split('\n', Qt::SkipEmptyParts);
}

int CountContaining(const QStringList& lines, const QString& part) {
  int n = 0;
  for (const QString& l : lines) n += l.contains(part) ? 1 : 0;
  return n;
}

void JumpToBootloader(const std::string& pty) {
  TKRCOMPort port;
  port.SetPort(QString::fromStdString(pty));
  port.SetBaudRate(9600);
  if (!port.Open()) throw std::runtime_error("cannot open " + pty);
  uint8_t frame[8] = {1, 6, 0, 32, 9148 >> 8, 9148 & 0xFF, 0, 0};
  const uint16_t crc = KRCRC16(frame, 6);
  frame[6] = static_cast<uint8_t>(crc & 0xFF);
  frame[7] = static_cast<uint8_t>(crc >> 8);
  port.Write(frame, sizeof frame);
  // The firmware does not answer the jump; give it the time to leave.
  port.WaitForInput(50);
}

std::unique_ptr<TKRCOMPort> OpenBootPort(const std::string& pty) {
  auto port = std::make_unique<TKRCOMPort>();
  port->SetPort(QString::fromStdString(pty));
  port->SetBaudRate(38400);
  port->SetParity(2);
  if (!port->Open()) throw std::runtime_error("cannot open " + pty);
  return port;
}

void FlasherLog::Attach(TSTM32_Flasher& flasher) {
  flasher.SetOnWriteln([this](void*, const QString& line) { Lines << line; });
  flasher.SetOnProgress([this](void*, int32_t current, int32_t max) { Progress.emplace_back(current, max); });
}

ScriptedBootloader::ScriptedBootloader(Edit edit, uint16_t pid)
    : ScriptedBootloader(edit ? Reply([edit = std::move(edit)](Bytes a, const Bytes&) { return edit(std::move(a)); })
                              : Reply(),
                         pid) {}

ScriptedBootloader::ScriptedBootloader(Reply reply, uint16_t pid)
    : trace_(clock_),
      flash_(kpxsim::DeviceFor(pid), dir_.filePath("flash.bin").toStdString()),
      boot_({pid, 0x31, true}, flash_, trace_, faults_),
      path_(dir_.filePath("pty").toStdString()),
      reply_(std::move(reply)) {
  std::string error;
  if (!trace_.Open(dir_.filePath("trace.jsonl").toStdString()) ||
      !pty_.Open(path_, &error))
    throw std::runtime_error("scripted line: " + error);
  thread_ = std::thread([this] { Run(); });
}

ScriptedBootloader::~ScriptedBootloader() {
  stop_ = true;
  thread_.join();
}

void ScriptedBootloader::SendNoise(const Bytes& bytes) {
  if (::write(pty_.MasterFd(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
    throw std::runtime_error("scripted line: noise not sent");
}

void ScriptedBootloader::Run() {
  size_t index = 0;
  Bytes request;  // what came since the last answer
  while (!stop_) {
    pollfd p{pty_.MasterFd(), POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN)) continue;
    uint8_t buf[512];
    const ssize_t n = ::read(pty_.MasterFd(), buf, sizeof buf);
    for (ssize_t i = 0; i < n; ++i, ++index) {
      if (index >= loseFrom_ && index < loseFrom_ + loseCount_) continue;
      request.push_back(buf[i]);
      Bytes answer = boot_.Feed(buf[i], clock_.NowMs());
      if (answer.empty()) continue;
      if (reply_) answer = reply_(std::move(answer), request);
      request.clear();
      const size_t first = GapMs > 0 && answer.size() > 1 ? answer.size() / 2 : answer.size();
      if (first && ::write(pty_.MasterFd(), answer.data(), first) < 0) return;
      if (first == answer.size()) continue;
      std::this_thread::sleep_for(std::chrono::milliseconds(GapMs.load()));
      if (::write(pty_.MasterFd(), answer.data() + first, answer.size() - first) < 0) return;
    }
  }
}

}  // namespace kelvora::test
