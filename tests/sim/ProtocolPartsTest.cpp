#include <gtest/gtest.h>

#include <algorithm>

#include "sim/Crc16.h"
#include "sim/Faults.h"
#include "sim/Options.h"
#include "sim/RtuFramer.h"

namespace kpxsim {
namespace {

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  const uint16_t crc = ModbusCrc(frame);
  frame.push_back(crc & 0xFF);
  frame.push_back(crc >> 8);
  return frame;
}

void Push(RtuFramer& f, const std::vector<uint8_t>& bytes, double at) {
  for (uint8_t b : bytes) f.Push(b, at);
}

TEST(RtuFraming, CutsBackToBackFramesByTheirFunctionAndDropsBadCrc) {
  RtuFramer framer(5.0);
  const auto read = WithCrc({1, 3, 0, 0, 0, 10});
  const auto write = WithCrc({1, 16, 0, 0, 0, 2, 4, 1, 244, 3, 232});
  auto damaged = WithCrc({1, 6, 0, 9, 0, 1});
  damaged.back() ^= 0xFF;
  Push(framer, read, 0);
  Push(framer, damaged, 0);
  Push(framer, write, 0);
  const auto first = framer.Next(0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Bytes, read);
  const auto second = framer.Next(0);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Bytes, write);
  EXPECT_FALSE(framer.Next(100));
}

TEST(RtuFraming, WaitsForTheLastByteAndForSilenceOnUnknownFunctions) {
  RtuFramer framer(5.0);
  const auto read = WithCrc({1, 3, 0, 0, 0, 10});
  for (size_t i = 0; i < read.size(); ++i) framer.Push(read[i], 1.0 * i);
  EXPECT_FALSE(framer.Next(6.5)) << "the last byte arrives at 7 ms";
  const auto frame = framer.Next(7.0);
  ASSERT_TRUE(frame);
  EXPECT_DOUBLE_EQ(frame->ArrivedMs, 7.0);

  const auto odd = WithCrc({1, 0x2B, 0x0E, 1, 0});
  Push(framer, odd, 10);
  EXPECT_FALSE(framer.Next(12));
  const auto late = framer.Next(16);
  ASSERT_TRUE(late);
  EXPECT_EQ(late->Bytes, odd);
}

TEST(RtuFraming, ACutLosesTheBytesStillOnTheirWayAndTheNextFrameStandsAlone) {
  RtuFramer framer(5.0);
  const auto read = WithCrc({1, 3, 0, 0, 0, 10});
  for (size_t i = 0; i < read.size(); ++i) framer.Push(read[i], 1.0 * i);
  EXPECT_EQ(framer.DropArrivingAfter(3.5), 4u);
  EXPECT_FALSE(framer.Next(100)) << "half a request";
  Push(framer, read, 200);
  const auto frame = framer.Next(300);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->Bytes, read);
}

TEST(FaultSpecs, ParseValuesAndWindows) {
  std::string error;
  const auto drop = ParseFault("drop-every=3@1000-2000", &error);
  ASSERT_TRUE(drop) << error;
  EXPECT_EQ(drop->Kind, FaultKind::DropEvery);
  EXPECT_EQ(drop->Value, 3u);
  EXPECT_FALSE(drop->ActiveAt(999));
  EXPECT_TRUE(drop->ActiveAt(1000));
  EXPECT_FALSE(drop->ActiveAt(2000));
  const auto unlock = ParseFault("unlock@2000", &error);
  ASSERT_TRUE(unlock);
  EXPECT_TRUE(unlock->ActiveAt(1e9));
  EXPECT_FALSE(unlock->ToMs);

  for (const char* bad : {"drop-every", "drop-every=0", "unlock=1", "protect=x", "protect=65536", "melt",
                          "vanish@", "delay-ms=5@300-200", "nack-block=1@a"})
    EXPECT_FALSE(ParseFault(bad, &error)) << bad;
}

TEST(FaultSpecs, MomentaryFaultsNeedATimeAndNoEnd) {
  std::string why;
  EXPECT_TRUE(ParseFault("cut-mid-frame@2000", &why));
  EXPECT_TRUE(ParseFault("power-cycle@0", &why));
  for (const char* bad : {"cut-mid-frame", "power-cycle@1000-2000", "cut-mid-frame=3@10"})
    EXPECT_FALSE(ParseFault(bad, &why)) << bad;
  EXPECT_NE(why.find("takes no value"), std::string::npos) << why;
}

TEST(FaultSpecs, CountingFaultsCountOnlyInsideTheirWindow) {
  FaultPlan plan({*ParseFault("drop-every=2@100-200", nullptr), *ParseFault("delay-ms=40", nullptr),
                  *ParseFault("delay-ms=10@0-50", nullptr)});
  EXPECT_FALSE(plan.DropAnswer(50));
  EXPECT_FALSE(plan.DropAnswer(60));
  EXPECT_FALSE(plan.DropAnswer(110));
  EXPECT_TRUE(plan.DropAnswer(120));
  EXPECT_FALSE(plan.DropAnswer(130));
  EXPECT_TRUE(plan.DropAnswer(140));
  EXPECT_FALSE(plan.DropAnswer(250));
  EXPECT_FALSE(plan.DropAnswer(260));
  EXPECT_DOUBLE_EQ(plan.AnswerDelayMs(10), 50);
  EXPECT_DOUBLE_EQ(plan.AnswerDelayMs(60), 40);

  FaultPlan edges({*ParseFault("vanish@100-200", nullptr)});
  EXPECT_TRUE(edges.Step(0).empty());
  ASSERT_EQ(edges.Step(150).size(), 1u);
  EXPECT_TRUE(edges.Step(160).empty());
  const auto left = edges.Step(250);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_FALSE(left[0].Entered);
}

TEST(FaultSpecs, RandomLossRepeatsForItsSeed) {
  std::string error;
  const auto loss = ParseFault("loss=30%,seed=7@0-100000", &error);
  ASSERT_TRUE(loss) << error;
  EXPECT_EQ(loss->Value, 30u);
  EXPECT_EQ(loss->Seed, 7u);
  for (const char* bad : {"loss=30", "loss=101%", "loss=%", "loss=5%,seed=", "loss=5%,salt=1",
                          "idle-close-ms=0", "idle-close-ms"})
    EXPECT_FALSE(ParseFault(bad, &error)) << bad;

  const auto pattern = [](const char* fault) {
    FaultPlan plan({*ParseFault(fault, nullptr)});
    std::string lost;
    for (int i = 0; i < 1000; ++i) lost += plan.DropAnswer(i) ? 'x' : '.';
    return lost;
  };
  const std::string once = pattern("loss=30%,seed=7");
  EXPECT_EQ(once, pattern("loss=30%,seed=7"));
  EXPECT_NE(once, pattern("loss=30%,seed=8"));
  const auto share = std::count(once.begin(), once.end(), 'x');
  EXPECT_GT(share, 200);
  EXPECT_LT(share, 400);
  EXPECT_EQ(pattern("loss=100%"), std::string(1000, 'x'));

  FaultPlan idle({*ParseFault("idle-close-ms=900@1000", nullptr)});
  EXPECT_DOUBLE_EQ(idle.IdleCloseMs(500), 0);
  EXPECT_DOUBLE_EQ(idle.IdleCloseMs(1500), 900);
}

std::optional<Options> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  return ParseOptions(args, error);
}

TEST(CommandLine, DefaultsAndTheFormsOfEachOption) {
  const auto d = Parse({"--rtu", "kpx"});
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Model, 5005);
  EXPECT_EQ(d->Firmware, 43);
  EXPECT_EQ(d->Slave, 1);
  EXPECT_FALSE(d->Tcp);
  EXPECT_EQ(d->BootBaud, 0u);
  EXPECT_EQ(d->BootPid, 0x438);
  EXPECT_EQ(d->BootVersion, 0x31);
  EXPECT_TRUE(d->ExtendedErase);
  EXPECT_DOUBLE_EQ(d->LoadOhms, 10.0);

  const auto o = Parse({"--tcp", "0.0.0.0:1502", "--firmware", "0x102B", "--baud", "9600",
                        "--erase", "std", "--fault", "unlock@5", "--fault", "vanish", "--mgic", "19082",
                        "--load", "2.5", "--vin", "12"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->TcpAddress, "0.0.0.0");
  EXPECT_EQ(o->TcpPort, 1502);
  EXPECT_EQ(o->Firmware, 0x102B);
  EXPECT_EQ(o->BootBaud, 38400u) << "the bootloader line is emulated too once --baud is given";
  EXPECT_FALSE(o->ExtendedErase);
  EXPECT_EQ(o->Faults.size(), 2u);
  EXPECT_EQ(o->Overrides.Mgic, 19082);
  EXPECT_DOUBLE_EQ(*o->VinVolts, 12.0);

  const auto t = Parse({"--tcp", "0", "--boot-baud", "115200"});
  ASSERT_TRUE(t);
  EXPECT_EQ(t->TcpAddress, "127.0.0.1");
  EXPECT_EQ(t->TcpPort, 0);
  EXPECT_EQ(t->BootBaud, 115200u);
}

TEST(CommandLine, RefusesWhatItCannotServe) {
  std::string error;
  for (std::vector<std::string> bad :
       {std::vector<std::string>{}, {"--rtu"}, {"--rtu", "a", "--slave", "0"}, {"--rtu", "a", "--model", "-3"},
        {"--rtu", "a", "--model", "70000"}, {"--tcp", "x:y"}, {"--tcp", "localhost:502"}, {"--rtu", "a", "--erase", "all"},
        {"--rtu", "a", "--fault", "melt"}, {"--rtu", "a", "--bogus", "1"}, {"--rtu", "a", "--load", "ten"},
        {"--rtu", "a", "--vin", "700"}, {"--rtu", "a", "--vin", "inf"}, {"--rtu", "a", "--vin", "nan"},
        {"--rtu", "a", "--load", "inf"}}) {
    error.clear();
    EXPECT_FALSE(Parse(bad, &error));
    EXPECT_FALSE(error.empty());
  }
  // The input voltage register holds 0 to 655.35 V.
  EXPECT_TRUE(Parse({"--rtu", "a", "--vin", "655.35"}));
  EXPECT_FALSE(Parse({"--rtu", "a", "--vin", "655.36"}, &error));
  EXPECT_EQ(error.rfind("bad --vin", 0), 0u) << error;
  // An option nobody knows is named as such, even with no value after it.
  for (std::vector<std::string> bogus : {std::vector<std::string>{"--rtu", "a", "--bogus"},
                                         {"--rtu", "a", "--bogus", "1"}}) {
    EXPECT_FALSE(Parse(bogus, &error));
    EXPECT_EQ(error, "unknown option --bogus");
  }
  EXPECT_FALSE(Parse({"--rtu"}, &error));
  EXPECT_EQ(error, "missing value for --rtu");
}

TEST(CommandLine, BareNamesGoToThePortsFolder) {
  ::setenv("KELVORA_PORTS_DIR", "/tmp/kelvora-ports-test", 1);
  EXPECT_EQ(LinkPathFor("kpx1"), "/tmp/kelvora-ports-test/kpx1");
  EXPECT_EQ(LinkPathFor("/tmp/x/ttyKPX"), "/tmp/x/ttyKPX");
  ::unsetenv("KELVORA_PORTS_DIR");
  ::setenv("XDG_RUNTIME_DIR", "/run/user/77", 1);
  EXPECT_EQ(PortsFolder(), "/run/user/77/kelvora/ports");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(PortsFolder(), "/tmp/kelvora-" + std::to_string(::getuid()) + "/ports");
}

}  // namespace
}  // namespace kpxsim
