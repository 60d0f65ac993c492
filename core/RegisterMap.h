#pragma once
// The supply's holding registers and every exchange the program makes with them.

#include <array>
#include <cstdint>
#include <string_view>

namespace Reg {
inline constexpr uint16_t USET = 0, ISET = 1, UOUT = 2, IOUT = 3, POWER = 4, UIN = 5, LOCK = 6,
                          PROTECT = 7, CVCC = 8, ONOFF = 9, BLED = 10, MODEL = 11, VERSION = 12,
                          TMP = 13, STATE = 14, DEBUG_DATA = 15, MGIC = 16, DVID = 17, COMM = 18,
                          GYRO = 19, MMAX = 20, PVER = 21, BCKL = 22, OHP = 23, d25 = 24,
                          PARAM = 25, MINS = 26, MAXS = 27, CLR1 = 28, CLR2 = 29, CLR3 = 30,
                          BEEP = 31, CMD = 32, TIME_L = 33, TIME_H = 34, MEM = 35, AHCNT_L = 36,
                          AHCNT_H = 37, WHCNT_L = 38, WHCNT_H = 39, CLB_CMD = 40, CLB_IDX = 41,
                          CLB_DATA_L = 42, CLB_DATA_H = 43;

inline constexpr uint16_t kMemoryBase = 80;       // preset m starts at 80 + 16 m
inline constexpr uint16_t kMemoryBlockSize = 16;  // registers per preset block
inline constexpr uint16_t kMemoryRegisters = 9;   // USET .. OTIM are read and written
inline constexpr int kPresetCount = 20;           // M0..M9, C0..C9
inline constexpr uint16_t kCalibBase = 400;       // seven records of four registers
inline constexpr uint16_t kCalibRegisters = 28;

inline constexpr uint16_t kCmdPresetSaved = 2;
inline constexpr uint16_t kCmdJumpBoot = 9148;
inline constexpr uint16_t kMagicVer4Z = 19082;  // MGIC together with version 41: ver_4Z

// PARAM bits of register layout B.
inline constexpr uint16_t kParamFahrenheit = 1, kParamResetCounters = 2, kParamSmart = 4,
                          kParamBatterySource = 8;
// Layout A writes each flag as a whole register.
inline constexpr uint16_t kLayoutAFlagClear = 0x8000, kLayoutAFlagSet = 0x8001;

// A MEM value of 20 or more is taken as preset 0.
constexpr uint16_t NormalisedPreset(uint32_t mem) { return mem < kPresetCount ? mem : 0; }
constexpr uint16_t MemoryBlockStart(uint32_t mem) {
  return kMemoryBase + kMemoryBlockSize * NormalisedPreset(mem);
}
constexpr uint16_t VersionNumber(uint32_t versionRegister) { return versionRegister & 0x0FFF; }
}  // namespace Reg

// One row of the request catalogue. Requests whose start depends on the active preset carry
// the block base and are offset by MemoryBlockStart.
enum class TRequestKind : uint8_t {
  ConnectRead, LockKeys, UnlockKeys,
  ReadData, ReadSetData, ReadTemperature, ReadDebugData, ReadGlobalData, ReadMemNum,
  ReadMemNumAndCounters, ReadMemory, ReadCalibData,
  WriteSetData, WriteOnOff, WriteBled, WriteMemNum, WriteCommand, WriteJumpBoot, WriteGlobalData,
  WriteMemory, WriteCalibCmd,
};

struct TRequestSpec {
  TRequestKind Kind;
  std::string_view Name;
  uint8_t Function;  // 3 read holding, 6 write single, 16 write multiple
  uint16_t Start;
  uint16_t Count;  // registers read or written (1 for function 6)
  bool PresetRelative;
};

inline constexpr std::array<TRequestSpec, 21> kRequestCatalogue{{
    {TRequestKind::ConnectRead, "Connect read", 3, 0, 15, false},
    {TRequestKind::LockKeys, "Lock keys", 6, Reg::LOCK, 1, false},
    {TRequestKind::UnlockKeys, "Unlock keys", 6, Reg::LOCK, 1, false},
    {TRequestKind::ReadData, "ReadData", 3, 0, 10, false},
    {TRequestKind::ReadSetData, "ReadSetData", 3, 0, 2, false},
    {TRequestKind::ReadTemperature, "ReadTemperature", 3, Reg::TMP, 1, false},
    {TRequestKind::ReadDebugData, "ReadDebugData", 3, Reg::DEBUG_DATA, 1, false},
    {TRequestKind::ReadGlobalData, "ReadGlobalData", 3, Reg::MGIC, 15, false},
    {TRequestKind::ReadMemNum, "ReadMemNum", 3, Reg::MEM, 1, false},
    {TRequestKind::ReadMemNumAndCounters, "ReadMemNumAndCounters", 3, Reg::TIME_L, 7, false},
    {TRequestKind::ReadMemory, "ReadMemory", 3, Reg::kMemoryBase, Reg::kMemoryRegisters, true},
    {TRequestKind::ReadCalibData, "ReadCalibData", 3, Reg::kCalibBase, Reg::kCalibRegisters, false},
    {TRequestKind::WriteSetData, "WriteSetData", 16, Reg::USET, 2, false},
    {TRequestKind::WriteOnOff, "WriteOnOff", 6, Reg::ONOFF, 1, false},
    {TRequestKind::WriteBled, "WriteBled", 6, Reg::BLED, 1, false},
    {TRequestKind::WriteMemNum, "WriteMemNum", 6, Reg::MEM, 1, false},
    {TRequestKind::WriteCommand, "WriteCommand", 6, Reg::CMD, 1, false},
    {TRequestKind::WriteJumpBoot, "WriteJumpBoot", 6, Reg::CMD, 1, false},
    {TRequestKind::WriteGlobalData, "WriteGlobalData", 16, Reg::MMAX, 11, false},
    {TRequestKind::WriteMemory, "WriteMemory", 16, Reg::kMemoryBase, Reg::kMemoryRegisters, true},
    {TRequestKind::WriteCalibCmd, "WriteCalibCmd", 16, Reg::CLB_CMD, 4, false},
}};

constexpr const TRequestSpec& RequestSpec(TRequestKind kind) {
  return kRequestCatalogue[static_cast<size_t>(kind)];
}

// Start register of a request; preset-relative requests follow the active preset.
constexpr uint16_t RequestStart(TRequestKind kind, uint32_t mem = 0) {
  const TRequestSpec& entry = RequestSpec(kind);
  return entry.PresetRelative ? Reg::MemoryBlockStart(mem) : entry.Start;
}

namespace detail {
constexpr bool CatalogueFollowsKinds() {
  for (size_t i = 0; i < kRequestCatalogue.size(); ++i)
    if (static_cast<size_t>(kRequestCatalogue[i].Kind) != i) return false;
  return true;
}
}  // namespace detail
static_assert(detail::CatalogueFollowsKinds(), "catalogue rows must follow TRequestKind order");
