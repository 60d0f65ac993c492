#include "autotest/TestSteps.h"

#include <QtEndian>

#include <algorithm>

#include "core/UtilUnit.h"

namespace {
constexpr uint32_t FamilyMax(int32_t TModelLimits::*limit) {
  int32_t widest = 0;
  for (const TModelLimits& model : kModelTable) widest = std::max(widest, model.*limit);
  return static_cast<uint32_t>(widest);
}
constexpr uint32_t kFamilyUmax = FamilyMax(&TModelLimits::Umax);
constexpr uint32_t kFamilyImax = FamilyMax(&TModelLimits::Imax);
}  // namespace

TTestSteps::TTestSteps() { fDataArray[0] = kDefaultTestStep; }

bool TTestSteps::Add() {
  if (fCount >= kMaxTestSteps) return false;
  fDataArray[static_cast<size_t>(fCount)] = fDataArray[static_cast<size_t>(fCount - 1)];
  ++fCount;
  return true;
}

bool TTestSteps::DeleteLast() {
  if (fCount <= 1) return false;
  --fCount;
  return true;
}

QByteArray TTestSteps::ToBytes() const {
  QByteArray bytes(fCount * kTestStepBytes, '\0');
  char* out = bytes.data();
  for (int i = 0; i < fCount; ++i, out += kTestStepBytes) {
    const TTestStep& step = (*this)[i];
    qToLittleEndian<uint32_t>(step.Uset, out);
    qToLittleEndian<uint32_t>(step.Iset, out + 4);
    qToLittleEndian<uint32_t>(step.Time, out + 8);
    out[12] = step.Enabled ? 1 : 0;  // three reserved zero bytes follow
  }
  return bytes;
}

bool TTestSteps::FromBytes(const QByteArray& bytes) {
  const int count = std::min<int>(static_cast<int>(bytes.size() / kTestStepBytes), kMaxTestSteps);
  if (count == 0) return false;
  const char* in = bytes.constData();
  for (int i = 0; i < count; ++i, in += kTestStepBytes) {
    TTestStep& step = (*this)[i];
    step.Uset = std::clamp(qFromLittleEndian<uint32_t>(in), 10u, kFamilyUmax);
    step.Iset = std::clamp(qFromLittleEndian<uint32_t>(in + 4), 1u, kFamilyImax);
    step.Time = std::clamp(qFromLittleEndian<uint32_t>(in + 8), 1u, kMaxStepTime);
    step.Enabled = in[12] != 0;
  }
  fCount = count;
  return true;
}

std::vector<int> TTestSteps::FitToModel(int fromDivider, int toDivider, uint32_t maxU,
                                        uint32_t maxI) {
  std::vector<int> held;
  for (int i = 0; i < fCount; ++i) {
    TTestStep& step = (*this)[i];
    if (fromDivider == 10 && toDivider == 1) step.Iset = std::max(1u, (step.Iset + 5) / 10);
    if (fromDivider == 1 && toDivider == 10) step.Iset *= 10;
    if (step.Uset > maxU || step.Iset > maxI) held.push_back(i + 1);
    step.Uset = std::min(step.Uset, maxU);
    step.Iset = std::min(step.Iset, maxI);
  }
  return held;
}

QStringList StepTexts(const TTestStep& step, int currentDivider) {
  const bool milliamperes = currentDivider == 10;
  // Volts (10 mV) times amperes (10 mA or 1 mA) in 10 mW units.
  const uint64_t power = static_cast<uint64_t>(step.Uset) * step.Iset / (milliamperes ? 1000 : 100);
  return {FormatFixed(step.Uset, 3), FormatFixed(step.Iset, milliamperes ? 4 : 3),
          FormatFixed(static_cast<uint32_t>(power), 3), FormatMinutes(step.Time)};
}
