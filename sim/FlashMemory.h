#pragma once
// The controller's flash as its bootloader sees it: erased bytes read 0xFF, programming only
// succeeds on erased bytes, erasing works a page at a time or on the whole array.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kpxsim {

struct DeviceInfo {
  uint16_t Pid;
  uint32_t FlashSize;
  uint32_t PageSize;
};

// Flash geometry of the controller with this product ID; unknown IDs get 64 KiB.
DeviceInfo DeviceFor(uint16_t pid);

class FlashMemory {
 public:
  static constexpr uint32_t kBase = 0x08000000;

  // outPath, when not empty, receives the whole image after every change.
  FlashMemory(const DeviceInfo& device, std::string outPath);

  uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }
  uint32_t Pages() const { return Size() / pageSize_; }
  bool Contains(uint32_t address, uint32_t length) const;

  std::span<const uint8_t> Read(uint32_t address, uint32_t length) const;
  // False, with nothing changed, when a byte to be programmed is not erased.
  bool Program(uint32_t address, std::span<const uint8_t> data);
  bool ErasePage(uint32_t page);
  void EraseAll();
  // Whether a power-up starts a firmware: the one the supply came with (not kept in these bytes)
  // until page 0 is erased, then whatever was written there, unless its first word, the
  // initial stack pointer, reads erased.
  bool HoldsFirmware() const;

 private:
  void Save() const;

  uint32_t pageSize_;
  std::vector<uint8_t> bytes_;
  std::string outPath_;
  bool factoryFirmware_ = true;
};

}  // namespace kpxsim
