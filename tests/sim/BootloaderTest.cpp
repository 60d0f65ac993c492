#include <gtest/gtest.h>

#include <numeric>

#include "sim/Bootloader.h"

namespace kpxsim {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t ACK = Bootloader::kAck, NACK = Bootloader::kNack;

Bytes Address(uint32_t a) {
  Bytes b{uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
  b.push_back(b[0] ^ b[1] ^ b[2] ^ b[3]);
  return b;
}

Bytes Cmd(uint8_t code) { return {code, uint8_t(code ^ 0xFF)}; }

class BootloaderFixture : public ::testing::Test {
 protected:
  explicit BootloaderFixture(uint16_t pid = 0x438, bool ext = true, std::vector<FaultSpec> faults = {})
      : flash_(DeviceFor(pid), ""), trace_(clock_), faults_(std::move(faults)),
        boot_({pid, 0x31, ext}, flash_, trace_, faults_) {}

  Bytes Send(const Bytes& bytes) {
    Bytes out;
    for (uint8_t b : bytes) {
      const Bytes got = boot_.Feed(b, 0);
      out.insert(out.end(), got.begin(), got.end());
    }
    return out;
  }
  Bytes Send(std::initializer_list<Bytes> frames) {
    Bytes all;
    for (const Bytes& f : frames) all.insert(all.end(), f.begin(), f.end());
    return Send(all);
  }
  void Activate() { ASSERT_EQ(Send(Bytes{0x7F}), Bytes{ACK}); }

  Bytes WriteBlock(uint32_t address, const Bytes& data) {
    Bytes frame{uint8_t(data.size() - 1)};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(std::accumulate(frame.begin(), frame.end(), uint8_t{0}, std::bit_xor<>()));
    return Send({Cmd(0x31), Address(address), frame});
  }
  Bytes ReadBlock(uint32_t address, uint8_t countLessOne) {
    return Send({Cmd(0x11), Address(address), Bytes{countLessOne, uint8_t(countLessOne ^ 0xFF)}});
  }

  SimClock clock_;
  FlashMemory flash_;
  Trace trace_;
  FaultPlan faults_;
  Bootloader boot_;
};

TEST_F(BootloaderFixture, ActivatesOnlyOn7FAndRefusesASecondActivation) {
  EXPECT_TRUE(Send(Bytes{0x00, 0x55, 0xFF}).empty());
  Activate();
  EXPECT_EQ(Send(Bytes{0x7F}), Bytes{NACK});
  EXPECT_EQ(Send(Cmd(0x02)), (Bytes{ACK, 0x01, 0x04, 0x38, ACK}));
}

TEST_F(BootloaderFixture, IdentifiesItselfAndOffersItsEraseAsSeventhCommand) {
  Activate();
  const Bytes get = Send(Cmd(0x00));
  ASSERT_EQ(get.size(), 13u);
  EXPECT_EQ(get.front(), ACK);
  EXPECT_EQ(get[1], get.size() - 4);  // byte count, less one, of version and codes
  EXPECT_EQ(get[2], 0x31);
  EXPECT_EQ((Bytes(get.begin() + 3, get.begin() + 9)), (Bytes{0x00, 0x01, 0x02, 0x11, 0x21, 0x31}));
  EXPECT_EQ(get[9], 0x44);
  EXPECT_EQ(get.back(), ACK);
  EXPECT_EQ(Send(Cmd(0x01)), (Bytes{ACK, 0x31, 0x00, 0x00, ACK}));
  EXPECT_EQ(Send(Bytes{0x00, 0x00}), Bytes{NACK}) << "a wrong complement";
  EXPECT_EQ(Send(Cmd(0x43)), Bytes{NACK}) << "the erase it does not offer";
  EXPECT_EQ(Send(Cmd(0x63)), Bytes{NACK});
}

TEST_F(BootloaderFixture, WritesAndReadsBackWithinTheFlashOnly) {
  Activate();
  Bytes data(256);
  std::iota(data.begin(), data.end(), uint8_t{0});
  EXPECT_EQ(WriteBlock(0x08000100, data), (Bytes{ACK, ACK, ACK}));
  Bytes expected{ACK, ACK, ACK};
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(ReadBlock(0x08000100, 0xFF), expected);
  EXPECT_EQ(ReadBlock(0x080000FF, 1), (Bytes{ACK, ACK, ACK, 0xFF, 0x00}));

  // The last byte of a 64 KiB device, then one beyond it and an address below the flash.
  EXPECT_EQ(ReadBlock(0x0800FFFF, 0), (Bytes{ACK, ACK, ACK, 0xFF}));
  EXPECT_EQ(Send({Cmd(0x11), Address(0x08010000)}), (Bytes{ACK, NACK}));
  EXPECT_EQ(Send({Cmd(0x11), Address(0x07FFFF00)}), (Bytes{ACK, NACK}));
  EXPECT_EQ(ReadBlock(0x0800FF01, 0xFF), (Bytes{ACK, ACK, NACK})) << "runs past the end";
  Bytes badSum = Address(0x08000000);
  badSum.back() ^= 1;
  EXPECT_EQ(Send({Cmd(0x11), badSum}), (Bytes{ACK, NACK}));
  EXPECT_EQ(Send(Cmd(0x02)).front(), ACK) << "still in step after the refusals";
}

TEST_F(BootloaderFixture, RefusesBadDataChecksumsAndProgrammingUnerasedFlash) {
  Activate();
  Bytes frame{3, 1, 2, 3, 4, 0};  // checksum should be 3^1^2^3^4 = 7
  EXPECT_EQ(Send({Cmd(0x31), Address(0x08000000), frame}), (Bytes{ACK, ACK, NACK}));
  EXPECT_EQ(WriteBlock(0x08000000, {0x12, 0x34, 0x56, 0x78}), (Bytes{ACK, ACK, ACK}));
  EXPECT_EQ(WriteBlock(0x08000000, {0x00, 0x00, 0x00, 0x00}), (Bytes{ACK, ACK, NACK}));
  EXPECT_EQ(ReadBlock(0x08000000, 3), (Bytes{ACK, ACK, ACK, 0x12, 0x34, 0x56, 0x78}));
}

TEST_F(BootloaderFixture, ExtendedEraseClearsListedPagesOrEverything) {
  Activate();
  WriteBlock(0x08000000, {1, 1, 1, 1});
  WriteBlock(0x08000800, {2, 2, 2, 2});  // page 1 of 2 KiB pages
  // Page list {1}: N = 0, page 0x0001, checksum over all of them.
  EXPECT_EQ(Send({Cmd(0x44), Bytes{0x00, 0x00, 0x00, 0x01, 0x01}}), (Bytes{ACK, ACK}));
  EXPECT_EQ(ReadBlock(0x08000800, 0), (Bytes{ACK, ACK, ACK, 0xFF}));
  EXPECT_EQ(ReadBlock(0x08000000, 0), (Bytes{ACK, ACK, ACK, 0x01}));
  EXPECT_EQ(Send({Cmd(0x44), Bytes{0x00, 0x00, 0x00, 0x20, 0x20}}), (Bytes{ACK, NACK})) << "page 32 of 32";
  EXPECT_EQ(Send({Cmd(0x44), Bytes{0x00, 0x00, 0x00, 0x01, 0x00}}), (Bytes{ACK, NACK})) << "checksum";
  EXPECT_EQ(Send({Cmd(0x44), Bytes{0xFF, 0xFF, 0x00}}), (Bytes{ACK, ACK}));
  EXPECT_EQ(ReadBlock(0x08000000, 0), (Bytes{ACK, ACK, ACK, 0xFF}));
}

class StandardEraseBootloader : public BootloaderFixture {
 protected:
  StandardEraseBootloader() : BootloaderFixture(0x420, false) {}
};

TEST_F(StandardEraseBootloader, EraseClearsGlobalOrListedPages) {
  Activate();
  EXPECT_EQ(Send(Cmd(0x00))[9], 0x43);
  EXPECT_EQ(Send(Cmd(0x44)), Bytes{NACK});
  WriteBlock(0x08000000, {1});
  WriteBlock(0x08000400, {2});  // page 1 of 1 KiB pages
  EXPECT_EQ(Send({Cmd(0x43), Bytes{0x00, 0x01, 0x01}}), (Bytes{ACK, ACK}));
  EXPECT_EQ(ReadBlock(0x08000400, 0), (Bytes{ACK, ACK, ACK, 0xFF}));
  EXPECT_EQ(ReadBlock(0x08000000, 0), (Bytes{ACK, ACK, ACK, 0x01}));
  EXPECT_EQ(Send({Cmd(0x43), Bytes{0xFF, 0x00}}), (Bytes{ACK, ACK}));
  EXPECT_EQ(ReadBlock(0x08000000, 0), (Bytes{ACK, ACK, ACK, 0xFF}));
}

TEST_F(BootloaderFixture, UnprotectResetsAndReadoutUnprotectWipes) {
  Activate();
  WriteBlock(0x08000000, {0x42});
  EXPECT_EQ(Send(Cmd(0x73)), (Bytes{ACK, ACK}));
  EXPECT_TRUE(Send(Cmd(0x02)).empty()) << "after the reset it waits for activation";
  Activate();
  EXPECT_EQ(ReadBlock(0x08000000, 0), (Bytes{ACK, ACK, ACK, 0x42}));
  EXPECT_EQ(Send(Cmd(0x92)), (Bytes{ACK, ACK}));
  Activate();
  EXPECT_EQ(ReadBlock(0x08000000, 0), (Bytes{ACK, ACK, ACK, 0xFF}));
}

TEST_F(BootloaderFixture, GoStartsTheApplicationOnlyAtAFlashAddress) {
  Activate();
  EXPECT_EQ(Send({Cmd(0x21), Address(0x20000000)}), (Bytes{ACK, NACK}));
  EXPECT_FALSE(boot_.Started());
  EXPECT_EQ(Send({Cmd(0x21), Address(0x08000000)}), (Bytes{ACK, ACK}));
  EXPECT_TRUE(boot_.Started());
}

class FaultyBootloader : public BootloaderFixture {
 protected:
  FaultyBootloader() : BootloaderFixture(0x438, true, {*ParseFault("nack-block=2", nullptr)}) {}
};

TEST_F(FaultyBootloader, RefusesTheWriteOfTheChosenBlock) {
  Activate();
  EXPECT_EQ(WriteBlock(0x08000100, {1}), (Bytes{ACK, ACK, ACK}));
  EXPECT_EQ(WriteBlock(0x08000200, {1}), (Bytes{ACK, ACK, NACK}));
  EXPECT_EQ(WriteBlock(0x08000300, {1}), (Bytes{ACK, ACK, ACK}));
}

TEST(FlashGeometry, SizeFollowsTheProductId) {
  EXPECT_EQ(DeviceFor(0x438).FlashSize, 65536u);
  EXPECT_EQ(DeviceFor(0x414).FlashSize, 262144u);
  EXPECT_EQ(DeviceFor(0x999).FlashSize, 65536u);
  FlashMemory big(DeviceFor(0x414), "");
  EXPECT_TRUE(big.Contains(0x0803FF00, 256));
  EXPECT_FALSE(big.Contains(0x0803FF01, 256));
}

}  // namespace
}  // namespace kpxsim
