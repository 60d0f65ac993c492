#include "sim/FlashMemory.h"

#include <algorithm>
#include <cstdio>

namespace kpxsim {

DeviceInfo DeviceFor(uint16_t pid) {
  switch (pid) {
    case 0x438: return {pid, 65536, 2048};   // F303x4(6/8), F334, F328
    case 0x468: return {pid, 65536, 2048};   // G431, G441
    case 0x420: return {pid, 65536, 1024};   // F10x medium density
    case 0x414: return {pid, 262144, 2048};  // F101/F103 high density
    default: return {pid, 65536, 2048};
  }
}

FlashMemory::FlashMemory(const DeviceInfo& device, std::string outPath)
    : pageSize_(device.PageSize), bytes_(device.FlashSize, 0xFF), outPath_(std::move(outPath)) {}

bool FlashMemory::Contains(uint32_t address, uint32_t length) const {
  if (address < kBase) return false;
  const uint64_t offset = address - kBase;
  return offset + length <= bytes_.size() && offset < bytes_.size();
}

std::span<const uint8_t> FlashMemory::Read(uint32_t address, uint32_t length) const {
  return std::span<const uint8_t>(bytes_).subspan(address - kBase, length);
}

bool FlashMemory::Program(uint32_t address, std::span<const uint8_t> data) {
  const auto at = bytes_.begin() + (address - kBase);
  for (size_t i = 0; i < data.size(); ++i)
    if (at[static_cast<std::ptrdiff_t>(i)] != 0xFF && at[static_cast<std::ptrdiff_t>(i)] != data[i])
      return false;
  std::copy(data.begin(), data.end(), at);
  Save();
  return true;
}

bool FlashMemory::ErasePage(uint32_t page) {
  if (page >= Pages()) return false;
  if (page == 0) factoryFirmware_ = false;
  std::fill_n(bytes_.begin() + page * pageSize_, pageSize_, 0xFF);
  Save();
  return true;
}

void FlashMemory::EraseAll() {
  factoryFirmware_ = false;
  std::fill(bytes_.begin(), bytes_.end(), 0xFF);
  Save();
}

bool FlashMemory::HoldsFirmware() const {
  return factoryFirmware_ || std::any_of(bytes_.begin(), bytes_.begin() + 4, [](uint8_t b) { return b != 0xFF; });
}

void FlashMemory::Save() const {
  if (outPath_.empty()) return;
  // Written beside and renamed, so that a reader never sees half an image.
  const std::string temp = outPath_ + ".part";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return;
  const bool ok = std::fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size();
  if (std::fclose(f) == 0 && ok) std::rename(temp.c_str(), outPath_.c_str());
}

}  // namespace kpxsim
