#include "sim/Bootloader.h"

#include <cstdio>

namespace kpxsim {

namespace {
constexpr uint8_t kGet = 0x00, kGetVersion = 0x01, kGetId = 0x02, kReadMemory = 0x11,
                  kGo = 0x21, kWriteMemory = 0x31, kErase = 0x43, kExtendedErase = 0x44,
                  kWriteUnprotect = 0x73, kReadoutUnprotect = 0x92;

uint8_t Xor(std::span<const uint8_t> bytes) {
  uint8_t x = 0;
  for (uint8_t b : bytes) x ^= b;
  return x;
}

std::string Hex(uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return buf;
}
}  // namespace

Bootloader::Bootloader(const BootConfig& config, FlashMemory& flash, Trace& trace,
                       FaultPlan& faults)
    : config_(config), flash_(flash), trace_(trace), faults_(faults) {
  Reset();
}

void Bootloader::Reset() {
  started_ = false;
  AwaitActivation();
}

void Bootloader::Expect(size_t count, Step then) {
  in_.clear();
  need_ = count;
  then_ = std::move(then);
}

std::vector<uint8_t> Bootloader::Feed(uint8_t byte, double nowMs) {
  nowMs_ = nowMs;
  out_.clear();
  if (started_) return out_;
  in_.push_back(byte);
  if (in_.size() >= need_) {
    const std::vector<uint8_t> got = std::move(in_);
    in_.clear();
    // The step sets the next expectation itself.
    Step step = std::move(then_);
    step(got);
  }
  return std::move(out_);
}

void Bootloader::AwaitActivation() {
  Expect(1, [this](std::span<const uint8_t> b) {
    if (b[0] != kActivate) return AwaitActivation();  // line noise before the baud rate is known
    out_.push_back(kAck);
    trace_.Write("boot", JsonObject().Add("cmd", "activate").Add("ok", true));
    AwaitCommand();
  });
}

void Bootloader::AwaitCommand() {
  Expect(1, [this](std::span<const uint8_t> code) {
    // Already active: a second activation byte is refused, the command reader stays in step.
    if (code[0] == kActivate) {
      out_.push_back(kNack);
      trace_.Write("boot", JsonObject().Add("cmd", "activate").Add("ok", false));
      return AwaitCommand();
    }
    const uint8_t c = code[0];
    Expect(1, [this, c](std::span<const uint8_t> complement) {
      if (complement[0] != static_cast<uint8_t>(c ^ 0xFF)) {
        out_.push_back(kNack);
        Finish(c, "bad-complement", false);
        return AwaitCommand();
      }
      Dispatch(c);
    });
  });
}

void Bootloader::Finish(uint8_t code, const char* name, bool ok, JsonObject fields) {
  JsonObject line;
  line.Add("cmd", Hex(code, 2)).Add("name", name).Add("ok", ok).Merge(fields);
  trace_.Write("boot", line);
}

void Bootloader::Dispatch(uint8_t code) {
  switch (code) {
    case kGet: return Get();
    case kGetVersion: return GetVersion();
    case kGetId: return GetId();
    case kReadMemory: return ReadMemory();
    case kGo: return Go();
    case kWriteMemory: return WriteMemory();
    case kErase:
      if (!config_.ExtendedErase) return Erase();
      break;
    case kExtendedErase:
      if (config_.ExtendedErase) return ExtendedErase();
      break;
    case kWriteUnprotect: return Unprotect(code, "write-unprotect", false);
    case kReadoutUnprotect: return Unprotect(code, "readout-unprotect", true);
    default: break;
  }
  out_.push_back(kNack);
  Finish(code, "unknown", false);
  AwaitCommand();
}

void Bootloader::Get() {
  const uint8_t erase = config_.ExtendedErase ? kExtendedErase : kErase;
  const std::vector<uint8_t> codes{kGet,         kGetVersion, kGetId,          kReadMemory, kGo,
                                   kWriteMemory, erase,       kWriteUnprotect, kReadoutUnprotect};
  out_.push_back(kAck);
  out_.push_back(static_cast<uint8_t>(codes.size()));  // bytes that follow, less one
  out_.push_back(config_.Version);
  out_.insert(out_.end(), codes.begin(), codes.end());
  out_.push_back(kAck);
  Finish(kGet, "get", true);
  AwaitCommand();
}

void Bootloader::GetVersion() {
  // Version, then two option bytes of a device without read protection.
  out_.insert(out_.end(), {kAck, config_.Version, 0x00, 0x00, kAck});
  Finish(kGetVersion, "get-version", true);
  AwaitCommand();
}

void Bootloader::GetId() {
  out_.insert(out_.end(), {kAck, 0x01, static_cast<uint8_t>(config_.Pid >> 8),
                           static_cast<uint8_t>(config_.Pid & 0xFF), kAck});
  Finish(kGetId, "get-id", true);
  AwaitCommand();
}

void Bootloader::ExpectAddress(std::function<void(uint32_t)> then) {
  Expect(5, [this, then = std::move(then)](std::span<const uint8_t> b) {
    const uint32_t address = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    if (Xor(b.first(4)) != b[4] || !flash_.Contains(address, 1)) {
      out_.push_back(kNack);
      trace_.Write("boot", JsonObject().Add("cmd", "address").Add("addr", Hex(address, 8)).Add("ok", false));
      return AwaitCommand();
    }
    out_.push_back(kAck);
    then(address);
  });
}

void Bootloader::ReadMemory() {
  out_.push_back(kAck);
  ExpectAddress([this](uint32_t address) {
    Expect(2, [this, address](std::span<const uint8_t> n) {
      const uint32_t count = n[0] + 1u;
      const bool ok = n[1] == static_cast<uint8_t>(n[0] ^ 0xFF) && flash_.Contains(address, count);
      out_.push_back(ok ? kAck : kNack);
      if (ok) {
        const auto data = flash_.Read(address, count);
        out_.insert(out_.end(), data.begin(), data.end());
      }
      Finish(kReadMemory, "read", ok, JsonObject().Add("addr", Hex(address, 8)).Add("count", count));
      AwaitCommand();
    });
  });
}

void Bootloader::Go() {
  out_.push_back(kAck);
  ExpectAddress([this](uint32_t address) {
    Finish(kGo, "go", true, JsonObject().Add("addr", Hex(address, 8)));
    started_ = true;
  });
}

void Bootloader::WriteMemory() {
  out_.push_back(kAck);
  ExpectAddress([this](uint32_t address) {
    Expect(1, [this, address](std::span<const uint8_t> n) {
      const uint8_t countByte = n[0];
      Expect(countByte + 2u, [this, address, countByte](std::span<const uint8_t> b) {
        const auto data = b.first(countByte + 1u);
        const uint32_t block = (address - FlashMemory::kBase) / 256;
        bool ok = static_cast<uint8_t>(Xor(data) ^ countByte) == b.back() &&
                  flash_.Contains(address, static_cast<uint32_t>(data.size())) &&
                  !faults_.NackBlock(block, nowMs_);
        ok = ok && flash_.Program(address, data);
        out_.push_back(ok ? kAck : kNack);
        Finish(kWriteMemory, "write", ok,
               JsonObject().Add("addr", Hex(address, 8)).Add("count", static_cast<unsigned>(data.size())));
        AwaitCommand();
      });
    });
  });
}

void Bootloader::ErasePages(uint8_t code, const char* name, const std::vector<uint32_t>& pages) {
  bool ok = true;
  for (uint32_t p : pages) ok = ok && p < flash_.Pages();
  if (ok)
    for (uint32_t p : pages) flash_.ErasePage(p);
  out_.push_back(ok ? kAck : kNack);
  Finish(code, name, ok, JsonObject().Add("pages", static_cast<unsigned>(pages.size())));
  AwaitCommand();
}

void Bootloader::Erase() {
  out_.push_back(kAck);
  Expect(1, [this](std::span<const uint8_t> n) {
    const uint8_t count = n[0];
    if (count == 0xFF) {
      return Expect(1, [this](std::span<const uint8_t> c) {
        const bool ok = c[0] == 0x00;
        if (ok) flash_.EraseAll();
        out_.push_back(ok ? kAck : kNack);
        Finish(kErase, "erase-global", ok);
        AwaitCommand();
      });
    }
    Expect(count + 2u, [this, count](std::span<const uint8_t> b) {
      if (static_cast<uint8_t>(Xor(b.first(count + 1u)) ^ count) != b.back()) {
        out_.push_back(kNack);
        Finish(kErase, "erase-pages", false);
        return AwaitCommand();
      }
      ErasePages(kErase, "erase-pages", std::vector<uint32_t>(b.begin(), b.end() - 1));
    });
  });
}

void Bootloader::ExtendedErase() {
  out_.push_back(kAck);
  Expect(2, [this](std::span<const uint8_t> n) {
    const uint16_t count = static_cast<uint16_t>(n[0] << 8 | n[1]);
    const uint8_t head = Xor(n);
    if (count >= 0xFFF0) {
      // Mass erase and the bank erases; this flash has a single bank.
      return Expect(1, [this, count, head](std::span<const uint8_t> c) {
        const bool ok = c[0] == head && count >= 0xFFFD;
        if (ok) flash_.EraseAll();
        out_.push_back(ok ? kAck : kNack);
        Finish(kExtendedErase, "erase-mass", ok);
        AwaitCommand();
      });
    }
    Expect(2u * (count + 1u) + 1u, [this, head](std::span<const uint8_t> b) {
      if (static_cast<uint8_t>(Xor(b.first(b.size() - 1)) ^ head) != b.back()) {
        out_.push_back(kNack);
        Finish(kExtendedErase, "erase-pages", false);
        return AwaitCommand();
      }
      std::vector<uint32_t> pages;
      for (size_t i = 0; i + 1 < b.size(); i += 2) pages.push_back(uint32_t{b[i]} << 8 | b[i + 1]);
      ErasePages(kExtendedErase, "erase-pages", pages);
    });
  });
}

void Bootloader::Unprotect(uint8_t code, const char* name, bool eraseFlash) {
  // Removing readout protection wipes the flash; either way the controller resets afterwards
  // and has to be activated again.
  if (eraseFlash) flash_.EraseAll();
  out_.insert(out_.end(), {kAck, kAck});
  Finish(code, name, true);
  AwaitActivation();
}

}  // namespace kpxsim
