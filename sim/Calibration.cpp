#include "sim/Calibration.h"

#include <algorithm>

namespace kpxsim {

namespace {
// Full-scale values of the converters behind each point, in the point's unit, so that the raw
// readings stored with a point look like a 12-bit converter's.
constexpr std::array<uint32_t, Calibration::kPoints> kFullScale{
    100000, 100000, 100000, 100000, 25000, 25000, 200};

uint16_t Raw(uint32_t value, int point) {
  return static_cast<uint16_t>(std::min<uint64_t>(4095, uint64_t{value} * 4095 / kFullScale[point]));
}

CalibPoint Point(uint32_t value, int point, bool output) {
  const uint16_t raw = Raw(value, point);
  return {value, raw, output ? raw : uint16_t{0}};
}
}  // namespace

Calibration::Calibration() {
  saved_ = {Point(6000, 0, false),  Point(25000, 1, false), Point(1000, 2, true),
            Point(30000, 3, true),  Point(100, 4, true),    Point(5000, 5, true),
            Point(50, 6, false)};
  working_ = saved_;
}

void Calibration::Command(uint16_t cmd, uint16_t index, uint32_t data) {
  const bool validPoint = index >= 1 && index <= kPoints;
  switch (static_cast<CalibMode>(cmd & 0x7F)) {
    case CalibMode::Start:
      mode_ = CalibMode::Start;
      break;
    case CalibMode::Fix:
      mode_ = CalibMode::Fix;
      if (validPoint) {
        const int k = index - 1;
        working_[k] = Point(data, k, k >= 2 && k <= 5);
      }
      break;
    case CalibMode::Save:
      saved_ = working_;
      mode_ = CalibMode::None;
      break;
    case CalibMode::Exit:
      working_ = saved_;
      mode_ = CalibMode::None;
      break;
    case CalibMode::None:
      break;
  }
}

std::array<uint16_t, 4 * Calibration::kPoints> Calibration::Block() const {
  std::array<uint16_t, 4 * kPoints> regs{};
  for (int k = 0; k < kPoints; ++k) {
    regs[4 * k] = static_cast<uint16_t>(working_[k].Value & 0xFFFF);
    regs[4 * k + 1] = static_cast<uint16_t>(working_[k].Value >> 16);
    regs[4 * k + 2] = working_[k].RowADC;
    regs[4 * k + 3] = working_[k].RowDAC;
  }
  return regs;
}

}  // namespace kpxsim
