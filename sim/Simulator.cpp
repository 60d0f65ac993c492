#include "sim/Simulator.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace kpxsim {

namespace {
// Faults switch in and out and the model runs between requests at this period at least.
constexpr double kTickMs = 20.0;
// Transaction, protocol, length and unit come before it.
constexpr size_t kTcpFunctionOffset = 7;

double ByteMs(uint32_t baud, int bitsPerByte) { return baud ? 1000.0 * bitsPerByte / baud : 0.0; }

SupplyConfig ConfigOf(const Options& o) {
  return {MakeIdentity(o.Model, o.Firmware, o.Overrides), o.LoadOhms, o.VinVolts};
}

// Three and a half characters of silence end an RTU frame; without an emulated line a client
// writes a frame at once, so a short gap is enough.
double SilenceMs(uint32_t baud) { return baud ? std::max(3.5 * ByteMs(baud, 10), 1.75) : 5.0; }
}  // namespace

Simulator::Simulator(const Options& options)
    : options_(options),
      trace_(clock_),
      supply_(ConfigOf(options)),
      faults_(options.Faults, options.FaultClockOnSignal),
      slave_(supply_, trace_, options.Slave),
      flash_(DeviceFor(options.BootPid), options.FlashOut),
      bootloader_({options.BootPid, options.BootVersion, options.ExtendedErase}, flash_, trace_, faults_),
      framer_(SilenceMs(options.Baud)),
      rtuOut_(ByteMs(options.Baud, 10)) {}

bool Simulator::Start(std::string* error) {
  if (!slave_.Ready()) {
    if (error) *error = "cannot set up the Modbus slave";
    return false;
  }
  if (!trace_.Open(options_.TracePath)) {
    if (error) *error = "cannot write the trace " + options_.TracePath;
    return false;
  }
  if (!options_.Rtu.empty()) {
    linkPath_ = LinkPathFor(options_.Rtu);
    // The ports folder is ours to make, private, since one in /tmp must not be open to others;
    // a folder in a path the user gave is not.
    if (linkPath_ != options_.Rtu) {
      std::filesystem::path folder;
      for (const auto& part : std::filesystem::path(PortsFolder())) {
        folder /= part;
        ::mkdir(folder.c_str(), 0700);
      }
    }
    if (!pty_.Open(linkPath_, error)) return false;
  }
  if (options_.Tcp && !tcp_.Listen(options_.TcpAddress, options_.TcpPort, error)) return false;
  ApplyFaultEdges(clock_.NowMs());
  return true;
}

std::string Simulator::ReadyLine() const {
  std::string line = "READY";
  if (!linkPath_.empty()) line += " rtu=" + linkPath_;
  if (options_.Tcp) line += " tcp=" + tcp_.Address() + ":" + std::to_string(tcp_.Port());
  return line;
}

double Simulator::InputByteMs() const {
  return mode_ == Mode::Boot ? ByteMs(options_.BootBaud, 11) : ByteMs(options_.Baud, 10);
}

void Simulator::EnterMode(Mode mode) {
  mode_ = mode;
  framer_.Clear();
  bootIn_.clear();
  rtuOut_.SetByteTime(mode == Mode::Boot ? ByteMs(options_.BootBaud, 11) : ByteMs(options_.Baud, 10));
  // Leaving the firmware stops the output; coming back starts the firmware afresh.
  supply_.Restart();
  if (mode == Mode::Boot) bootloader_.Reset();
  trace_.Write("boot", JsonObject().Add("event", mode == Mode::Boot ? "enter" : "leave"));
}

void Simulator::ReadPty(double nowMs) {
  if (!pty_.IsOpen()) return;
  const double byteMs = InputByteMs();
  uint8_t buf[512];
  ssize_t n;
  while ((n = ::read(pty_.MasterFd(), buf, sizeof buf)) > 0) {
    for (ssize_t i = 0; i < n; ++i) {
      // On an emulated line each byte arrives one byte time after the one before it.
      const double at = byteMs > 0 ? std::max(nowMs, lineBusyUntilMs_) + byteMs : nowMs;
      lineBusyUntilMs_ = at;
      if (mode_ == Mode::Boot)
        bootIn_.emplace_back(buf[i], at);
      else
        framer_.Push(buf[i], at);
    }
  }
}

void Simulator::ServeRtu(double nowMs) {
  if (!pty_.IsOpen()) return;
  if (mode_ == Mode::Modbus) {
    while (auto frame = framer_.Next(nowMs)) {
      supply_.Advance(frame->ArrivedMs);
      ModbusAnswer answer = slave_.Handle(Link::Rtu, frame->Bytes);
      if (answer.JumpToBootloader) {
        EnterMode(Mode::Boot);
        break;
      }
      Answer(std::move(answer), frame->ArrivedMs, Link::Rtu, 0);
    }
  } else {
    size_t used = 0;
    for (; used < bootIn_.size() && bootIn_[used].second <= nowMs; ++used) {
      const auto [byte, at] = bootIn_[used];
      rtuOut_.Enqueue(bootloader_.Feed(byte, at), at);
      if (bootloader_.Started()) break;
    }
    bootIn_.erase(bootIn_.begin(), bootIn_.begin() + static_cast<std::ptrdiff_t>(used));
    if (bootloader_.Started()) EnterMode(Mode::Modbus);
  }
  rtuOut_.Flush(pty_.MasterFd(), nowMs);
  // Our own slave descriptor keeps unread answers alive after the client has gone; once they
  // fill the line, they are lost.
  if (rtuOut_.Blocked()) pty_.DiscardUnread();
}

void Simulator::ServeTcp(double nowMs) {
  for (TcpRequest& request : tcp_.Receive(nowMs)) {
    supply_.Advance(request.ArrivedMs);
    ModbusAnswer answer = slave_.Handle(Link::Tcp, request.Adu);
    // The jump is a serial-line affair: over the network the firmware just does not answer.
    if (!answer.JumpToBootloader) Answer(std::move(answer), request.ArrivedMs, Link::Tcp, request.Client);
  }
  tcp_.Flush(nowMs);
  for (int n = tcp_.CloseIdle(nowMs, faults_.IdleCloseMs(nowMs)); n > 0; --n)
    trace_.Write("link", JsonObject().Add("event", "idle-close"));
}

void Simulator::Answer(ModbusAnswer answer, double dueMs, Link link, int client) {
  if (answer.Bytes.empty()) return;
  const double now = clock_.NowMs();
  if (faults_.DropAnswer(now)) {
    trace_.Write("ans", answer.Fields.Add("dropped", true));
    return;
  }
  if (faults_.CorruptAnswer(now)) {
    // RTU: the CRC no longer matches. TCP has no checksum, so the function code is damaged,
    // which a master checks against its request.
    answer.Bytes[link == Link::Rtu ? answer.Bytes.size() - 1 : kTcpFunctionOffset] ^= 0x5A;
    answer.Fields.Add("corrupted", true);
  }
  const double delay = faults_.AnswerDelayMs(now);
  if (delay > 0) answer.Fields.Add("delay", delay);
  trace_.Write("ans", answer.Fields);
  if (link == Link::Rtu)
    rtuOut_.Enqueue(std::move(answer.Bytes), dueMs + delay);
  else
    tcp_.Send(client, std::move(answer.Bytes), dueMs + delay);
}

void Simulator::ApplyFaultEdges(double nowMs) {
  for (const FaultEdge& edge : faults_.Step(nowMs)) {
    switch (edge.Kind) {
      case FaultKind::Unlock:
        // A press of the lock key; within a window the keys stay unlocked until it closes.
        if (edge.Entered) supply_.Unlock();
        supply_.HoldUnlocked(edge.Entered && edge.Bounded);
        break;
      case FaultKind::Protect:
        if (edge.Entered && !edge.Bounded)
          supply_.Trip(static_cast<uint16_t>(edge.Value));
        else
          supply_.HoldTrip(edge.Entered ? std::optional<uint16_t>(edge.Value) : std::nullopt);
        break;
      case FaultKind::Vanish:
        if (edge.Entered) {
          pty_.Close();
          tcp_.Close();
          framer_.Clear();
          bootIn_.clear();
          rtuOut_.Clear();
        } else {
          std::string error;
          if (!linkPath_.empty() && !pty_.Open(linkPath_, &error))
            std::fprintf(stderr, "kpx-sim: %s\n", error.c_str());
          if (options_.Tcp && !tcp_.Listen(options_.TcpAddress, tcp_.Port(), &error))
            std::fprintf(stderr, "kpx-sim: %s\n", error.c_str());
        }
        break;
      default:
        break;  // the counting faults and the delay act on each answer
    }
  }
}

double Simulator::NextWakeMs(double nowMs) const {
  double wake = nowMs + kTickMs;
  wake = std::min(wake, framer_.NextCheckMs(nowMs));
  wake = std::min(wake, rtuOut_.NextDueMs());
  wake = std::min(wake, tcp_.NextDueMs());
  for (const auto& [byte, at] : bootIn_)
    if (at > nowMs) {
      wake = std::min(wake, at);
      break;
    }
  if (!bootIn_.empty() && bootIn_.front().second <= nowMs) wake = nowMs;
  return wake;
}

void Simulator::Run(int stopFd) {
  for (;;) {
    std::vector<pollfd> fds{{stopFd, POLLIN, 0}};
    if (pty_.IsOpen()) {
      fds.push_back({pty_.WatchFd(), POLLIN, 0});
      fds.push_back({pty_.MasterFd(), POLLIN, 0});
    }
    tcp_.AddPollFds(fds);
    const double now = clock_.NowMs();
    const double waitMs = std::max(0.0, NextWakeMs(now) - now);
    const timespec timeout{static_cast<time_t>(waitMs / 1000),
                           static_cast<long>(std::fmod(waitMs, 1000.0) * 1e6)};
    if (::ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0 && errno != EINTR) break;
    if (fds[0].revents) {
      signalfd_siginfo info{};
      if (::read(stopFd, &info, sizeof info) != sizeof info || info.ssi_signo != SIGUSR1) break;
      faults_.StartClock(clock_.NowMs());
      trace_.Write("faults", JsonObject().Add("event", "clock started"));
    }

    const double t = clock_.NowMs();
    ApplyFaultEdges(t);
    supply_.Advance(t);
    // Opens and closes first: a request that came with a fresh open must survive the discard.
    pty_.ServiceWatch();
    ReadPty(t);
    ServeRtu(t);
    ServeTcp(t);
  }
  pty_.Close();
  tcp_.Close();
}

}  // namespace kpxsim
