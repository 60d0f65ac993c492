#pragma once
// Device records, the model table and the small value conversions shared by every window.

#include <QString>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <variant>

// Firmware classes, oldest first; the order is relied on by "class below ver_43" tests.
enum class TVersion : uint8_t { ver_18 = 0, ver_36, ver_40, ver_4Z, ver_42, ver_43, ver_New };

enum class TCalib_Mode : uint8_t {
  calib_mode_none = 0,
  calib_mode_start,
  calib_mode_fix,
  calib_mode_save,
  calib_mode_exit
};

// Mirror of holding registers 0 to 47, field n = register n. The first 32 are 32-bit so that
// indicators can point at them; the rest are the plain 16-bit registers.
struct TCurrentSet {
  uint32_t USET, ISET, UOUT, IOUT, POWER, UIN, LOCK, PROTECT, CVCC, ONOFF, BLED, MODEL, VERSION,
      TMP, STATE, DEBUG_DATA, MGIC, DVID, COMM, GYRO, MMAX, PVER, BCKL, OHP, d25, PARAM, MINS, MAXS,
      CLR1, CLR2, CLR3, BEEP;
  uint16_t CMD, TIME_L, TIME_H, MEM, AHCNT_L, AHCNT_H, WHCNT_L, WHCNT_H, CLB_CMD, CLB_IDX,
      CLB_DATA_L, CLB_DATA_H, d45, d46, d47, d48;
};
static_assert(sizeof(TCurrentSet) == 32 * 4 + 16 * 2);

// Mirror of one 16-register preset block; the program reads and writes the first nine.
struct TMemorySet {
  uint32_t USET, ISET, SOVP, SOCP, SOPP, BLED_, MPRE, SINI, OTIM, d09, d10, d11, d12, d13, d14, d15;
};
static_assert(sizeof(TMemorySet) == 16 * 4);

struct TCalibRecord {
  uint32_t Value;
  uint16_t RowADC;
  uint16_t RowDAC;
};
static_assert(sizeof(TCalibRecord) == 8);

struct TCalibData {
  TCalibRecord Uin1, Uin2, Uout1, Uout2, Iout1, Iout2, Tmp2;
};
static_assert(sizeof(TCalibData) == 7 * sizeof(TCalibRecord));

// What the program knows about the connected supply.
struct TModel {
  TVersion Version;
  bool RCNT;
  bool BSRC;
  bool CF;
  bool SMART;
  bool Temp;
  bool TempSensorEnable;
  bool BatterySourceEnable;
  int32_t BacklightMax;
  bool Counters;
};

// Register values by index, for decoding answers into the records field by field.
uint32_t& RegisterField(TCurrentSet& data, int reg);  // reg 0..31 (32-bit fields)
uint16_t& CommandField(TCurrentSet& data, int reg);   // reg 32..47 (16-bit fields)
// Stores a register value into field reg (0..47) of the mirror.
void StoreRegister(TCurrentSet& data, int reg, uint16_t value);
uint32_t& MemoryField(TMemorySet& memory, int offset);  // offset 0..15

// ---- Model table and the model variables that follow from it --------------------------------

struct TModelLimits {
  uint32_t Model;
  int32_t Umax;  // highest set voltage, 10 mV
  int32_t Imax;  // highest set current, current units
  int32_t Pmax;  // highest over-power value, 0.1 W
  int32_t CurrentDivider;  // 10: 1 mA units, three decimals; 1: 10 mA units, two decimals
  bool TempSensor;
};

inline constexpr std::array<TModelLimits, 8> kModelTable{{
    {3003, 3100, 3100, 900, 10, false},
    {3005, 3100, 5100, 1500, 10, false},
    {3012, 3100, 1210, 3600, 1, true},
    {5005, 5100, 5100, 2652, 10, false},
    {5015, 5100, 1510, 7750, 1, true},
    {5020, 5100, 2010, 9999, 1, true},
    {6012, 6100, 1210, 7200, 1, true},
    {8005, 8100, 5100, 4500, 10, true},
}};

std::optional<TModelLimits> FindModel(uint32_t model);
bool IsKnownModel(uint32_t model);

// The model variables of the main unit; before any model is known they describe the widest
// ranges (5100, 2010, 9999, 1).
extern int32_t ModelUmax;
extern int32_t ModelImax;
extern int32_t ModelPmax;
extern int32_t CurrentDivider;
void ResetModelVariables();

// ---- Conversions --------------------------------------------------------------------------

// Colour values are 0x00BBGGRR (red in the low byte); the supply keeps RGB565 words.
uint32_t Rgb565ToColor(uint16_t word);
uint16_t ColorToRgb565(uint32_t color);
uint32_t DarkenColor(uint32_t color);

template <typename T>
void SetBits(T& variable, T mask, bool on) {
  if (on)
    variable = static_cast<T>(variable | mask);
  else
    variable = static_cast<T>(variable & ~mask);
}

// Appends value with six digit positions and a decimal point after position pointPos (> 1);
// leading positions above the point stay blank unless text is already there.
void FormatFixed(QString& text, uint32_t value, int pointPos);
QString FormatFixed(uint32_t value, int pointPos);

// Minutes as hours:minutes ("2:05"); hours digits only when nonzero.
void FormatMinutes(QString& text, uint32_t minutes);
QString FormatMinutes(uint32_t minutes);

// 64-bit product divided with rounding to nearest, halves away from zero; -1 when divisor is 0.
int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator);

// Minimal scanner: "%d" (signed 32-bit), "%f" (extended float), "%s" (up to a blank).
using TScanTarget = std::variant<int32_t*, long double*, QString*>;
int ScanFormatted(const QString& text, const QString& format,
                  std::initializer_list<TScanTarget> targets);
