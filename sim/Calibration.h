#pragma once
// The supply's calibration run: start a point, fix its measured value, save or leave.
// Fixed values show at once in the calibration block; leaving without saving restores the
// values saved before.

#include <array>
#include <cstdint>

namespace kpxsim {

struct CalibPoint {
  uint32_t Value = 0;
  uint16_t RowADC = 0;
  uint16_t RowDAC = 0;
};

enum class CalibMode : uint16_t { None = 0, Start = 1, Fix = 2, Save = 3, Exit = 4 };

class Calibration {
 public:
  static constexpr int kPoints = 7;  // Uin1, Uin2, Uout1, Uout2, Iout1, Iout2, Tmp2

  Calibration();

  // One command as written to CLB_CMD, CLB_IDX and CLB_DATA; index 1 to 7 selects a point.
  void Command(uint16_t cmd, uint16_t index, uint32_t data);

  CalibMode Mode() const { return mode_; }

  // The 28 registers of the calibration block, four per point.
  std::array<uint16_t, 4 * kPoints> Block() const;

 private:
  std::array<CalibPoint, kPoints> saved_;
  std::array<CalibPoint, kPoints> working_;
  CalibMode mode_ = CalibMode::None;
};

}  // namespace kpxsim
