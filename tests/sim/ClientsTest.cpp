// kpx-sim as a process, driven by clients nobody here wrote: mbpoll, stm32flash, libmodbus.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "tests/sim/SimTools.h"
#include "tests/support/SimProcess.h"

namespace kelvora::test {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int CountLines(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return Contains(l, part); }));
}

std::vector<std::string> MbpollRtu(const std::string& path, std::vector<std::string> args) {
  std::vector<std::string> cmd{"mbpoll", "-m", "rtu", "-b", "9600", "-P", "none", "-0", "-1", "-o", "5", "-t", "4"};
  cmd.insert(cmd.end(), args.begin(), args.end());
  cmd.push_back(path);
  return cmd;
}

std::vector<std::string> MbpollTcp(const SimProcess& sim, std::vector<std::string> args) {
  std::vector<std::string> cmd{"mbpoll", "-m", "tcp", "-p", std::to_string(sim.TcpPort()), "-0", "-1", "-o", "5", "-t", "4"};
  cmd.insert(cmd.end(), args.begin(), args.end());
  cmd.push_back(sim.TcpAddress());
  return cmd;
}

// The same conversation with mbpoll over either link; `extra` goes after the options.
class MbpollOverLinks : public ::testing::TestWithParam<bool> {
 protected:
  std::vector<std::string> Mbpoll(const SimProcess& sim, std::vector<std::string> args,
                                  std::vector<std::string> values = {}) {
    auto cmd = GetParam() ? MbpollTcp(sim, args) : MbpollRtu(sim.PtyPath(), args);
    cmd.insert(cmd.end(), values.begin(), values.end());
    return cmd;
  }
};

TEST_P(MbpollOverLinks, ReadsAndWritesRegistersAndTheTraceRecordsIt) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--tcp", "0", "--model", "3012", "--firmware", "42",
                  "--trace", dir / "trace.jsonl"});
  const ToolResult id = RunTool(Mbpoll(sim, {"-r", "0", "-c", "15"}));
  ASSERT_EQ(id.Code, 0) << id.Output;
  EXPECT_TRUE(Contains(id.Output, "[11]: \t3012")) << id.Output;
  EXPECT_TRUE(Contains(id.Output, "[12]: \t42"));

  const ToolResult multi = RunTool(Mbpoll(sim, {"-r", "0"}, {"1234", "567"}));
  ASSERT_EQ(multi.Code, 0) << multi.Output;
  const ToolResult single = RunTool(Mbpoll(sim, {"-r", "9"}, {"1"}));
  ASSERT_EQ(single.Code, 0) << single.Output;
  const ToolResult back = RunTool(Mbpoll(sim, {"-r", "0", "-c", "10"}));
  EXPECT_TRUE(Contains(back.Output, "[0]: \t1234")) << back.Output;
  EXPECT_TRUE(Contains(back.Output, "[1]: \t567"));
  EXPECT_TRUE(Contains(back.Output, "[9]: \t1"));
  EXPECT_TRUE(Contains(back.Output, "[3]: \t123")) << "12.34 V over 10 ohm, in 10 mA units";

  const ToolResult preset = RunTool(Mbpoll(sim, {"-r", "400", "-c", "28"}));
  EXPECT_EQ(preset.Code, 0) << preset.Output;

  sim.Stop();
  const auto trace = ReadLines(dir / "trace.jsonl");
  const std::string link = GetParam() ? "\"link\":\"tcp\"" : "\"link\":\"rtu\"";
  EXPECT_EQ(CountLines(trace, "\"dir\":\"req\",") , CountLines(trace, "\"dir\":\"ans\","));
  EXPECT_EQ(CountLines(trace, "\"dir\":\"req\"," + link + ",\"slave\":1,\"fc\":16,\"addr\":0,\"count\":2,\"values\":[1234,567]}"), 1);
  EXPECT_EQ(CountLines(trace, "\"dir\":\"ans\"," + link + ",\"slave\":1,\"fc\":16,\"addr\":0,\"count\":2}"), 1);
  EXPECT_EQ(CountLines(trace, "\"dir\":\"req\"," + link + ",\"slave\":1,\"fc\":6,\"addr\":9,\"count\":1,\"values\":[1]"), 1);
  EXPECT_EQ(CountLines(trace, "\"fc\":3,\"addr\":400,\"count\":28"), 2);
  for (const std::string& line : trace) EXPECT_EQ(line.rfind("{\"t\":", 0), 0u) << line;
}

INSTANTIATE_TEST_SUITE_P(Links, MbpollOverLinks, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Tcp" : "Rtu"; });

TEST(SimLinks, ExceptionsForUnknownFunctionsAndAddressesOutsideTheMap) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--tcp", "0"});
  const ToolResult input = RunTool(MbpollRtu(sim.PtyPath(), {"-t", "3", "-r", "0"}));
  EXPECT_TRUE(Contains(input.Output, "Illegal function")) << input.Output;

  auto rtu = ModbusClient::Rtu(sim.PtyPath());
  auto tcp = ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort());
  for (ModbusClient* c : {&rtu, &tcp}) {
    ModbusClient& client = *c;
    ASSERT_TRUE(client.Connected());
    uint16_t coils[1];
    EXPECT_EQ(modbus_read_input_registers(client.Context(), 0, 1, coils), -1);
    EXPECT_EQ(errno, EMBXILFUN);
    EXPECT_FALSE(client.Read(48, 1));
    EXPECT_EQ(client.LastError(), EMBXILADD);
    EXPECT_FALSE(client.Read(40, 10)) << "reaches into the hole after 47";
    EXPECT_FALSE(client.Read(420, 9)) << "reaches past the calibration block";
    EXPECT_FALSE(client.Write(79, 1));
    EXPECT_EQ(client.LastError(), EMBXILADD);
    EXPECT_FALSE(client.Write(46, {1, 2, 3}));
    EXPECT_TRUE(client.Read(80, 125));
    EXPECT_TRUE(client.Read(400, 28));
  }
}

// libmodbus refuses such a count on the master side, so the request goes out raw. The
// simulator answers at once, and its other link is not held up meanwhile.
TEST(SimLinks, AReadOfMoreThan125RegistersIsRefusedAtOnce) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--tcp", "0"});
  auto rtu = ModbusClient::Rtu(sim.PtyPath());
  auto tcp = ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort());
  for (ModbusClient* c : {&rtu, &tcp}) {
    ModbusClient& client = *c;
    ASSERT_TRUE(client.Connected());
    const uint8_t request[] = {1, 3, 0, 0, 0, 200};
    uint8_t answer[MODBUS_TCP_MAX_ADU_LENGTH];
    int received = -1;
    const double ms = TimedMs([&] {
      ASSERT_GT(modbus_send_raw_request(client.Context(), request, sizeof request), 0);
      received = modbus_receive_confirmation(client.Context(), answer);
    });
    EXPECT_LT(ms, 150.0);
    const int offset = c == &rtu ? 1 : 7;
    ASSERT_GE(received, offset + 2);
    EXPECT_EQ(answer[offset], 0x83);
    EXPECT_EQ(answer[offset + 1], 3) << "illegal data value";
    EXPECT_LT(TimedMs([&] { EXPECT_TRUE((c == &rtu ? tcp : rtu).Read(0, 1)); }), 150.0);
  }
}

TEST(SimLinks, OnlyItsOwnSlaveAddressIsAnsweredOnTheSerialLine) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--slave", "7"});
  auto other = ModbusClient::Rtu(sim.PtyPath(), 1);
  other.SetTimeoutMs(150);
  EXPECT_FALSE(other.Read(0, 1));
  EXPECT_EQ(other.LastError(), ETIMEDOUT);
  auto own = ModbusClient::Rtu(sim.PtyPath(), 7);
  EXPECT_TRUE(own.Read(0, 1));
}

TEST(SimLinks, ClientsCloseAndReopenThePortAsOftenAsTheyLike) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty"});
  for (int i = 0; i < 4; ++i) {
    auto client = ModbusClient::Rtu(sim.PtyPath());
    ASSERT_TRUE(client.Write(0, static_cast<uint16_t>(100 + i))) << "round " << i;
    const auto v = client.Read(0, 1);
    ASSERT_TRUE(v) << "round " << i;
    EXPECT_EQ((*v)[0], 100 + i);
  }
  EXPECT_TRUE(sim.Running());
}

TEST(SimLinks, AnswersNobodyReadBeforeClosingThePortAreLost) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--trace", dir / "t.jsonl"});
  {
    RawPort port(sim.PtyPath());
    ASSERT_TRUE(port.Write({0x01, 0x03, 0x00, 0x00, 0x00, 0x64, 0x44, 0x21}));  // refused: 0..99
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // The simulator learns of the close a moment later, as a line goes quiet.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  auto client = ModbusClient::Rtu(sim.PtyPath());
  const auto model = client.Read(11, 1);
  ASSERT_TRUE(model) << "the exception answer of the closed session must not be read here: " << modbus_strerror(client.LastError());
  EXPECT_EQ((*model)[0], 5005);
}

class SimStop : public ::testing::TestWithParam<int> {};

TEST_P(SimStop, RemovesItsLinkInThePortsFolder) {
  const char* folder = std::getenv("KELVORA_PORTS_DIR");
  ASSERT_TRUE(folder);
  const std::string name = "kpx-stop-" + std::to_string(GetParam());
  SimProcess sim({"--rtu", name});
  const std::string link = std::string(folder) + "/" + name;
  EXPECT_EQ(sim.PtyPath(), link);
  std::error_code ec;
  ASSERT_TRUE(std::filesystem::is_symlink(link, ec));
  EXPECT_EQ(std::filesystem::read_symlink(link, ec).string().rfind("/dev/pts/", 0), 0u);
  EXPECT_EQ(sim.Stop(GetParam()), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link, ec));
}

INSTANTIATE_TEST_SUITE_P(Signals, SimStop, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return info.param == SIGINT ? "Interrupt" : "Terminate"; });

TEST(SimStart, ReplacesAStaleLinkButNothingElseAndRefusesBadOptions) {
  TempFolder dir;
  ASSERT_EQ(::symlink("/dev/pts/nonexistent", (dir / "stale").c_str()), 0);
  {
    SimProcess sim({"--rtu", dir / "stale"});
    EXPECT_TRUE(ModbusClient::Rtu(sim.PtyPath()).Read(0, 1));
    EXPECT_THROW(SimProcess({"--rtu", dir / "stale"}), std::runtime_error) << "the name is taken";
    EXPECT_TRUE(ModbusClient::Rtu(sim.PtyPath()).Read(0, 1)) << "and still served by the first";
  }
  std::ofstream(dir / "file") << "not a port";
  const ToolResult occupied = RunTool({SimProcess::BinaryPath(), "--rtu", dir / "file"});
  EXPECT_EQ(occupied.Code, 1) << occupied.Output;
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "file"));

  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--rtu", "x", "--bogus", "1"},
                                              {"--tcp", "banana"}, {}}) {
    std::vector<std::string> cmd{SimProcess::BinaryPath()};
    cmd.insert(cmd.end(), bad.begin(), bad.end());
    const ToolResult r = RunTool(cmd);
    EXPECT_EQ(r.Code, 2) << r.Output;
    EXPECT_TRUE(Contains(r.Output, "usage: kpx-sim"));
  }
  EXPECT_THROW(SimProcess({"--tcp", "192.0.2.1:0"}), std::runtime_error) << "not an address of ours";

  const std::string missing = dir / "no/such/folder";
  const ToolResult nowhere = RunTool({SimProcess::BinaryPath(), "--rtu", missing + "/link"});
  EXPECT_EQ(nowhere.Code, 1) << nowhere.Output;
  EXPECT_TRUE(Contains(nowhere.Output, "no folder " + missing)) << nowhere.Output;
  EXPECT_FALSE(std::filesystem::exists(dir / "no")) << "no folder is made on a guess";
}

std::vector<uint8_t> RandomImage(size_t size) {
  std::mt19937 rng(static_cast<unsigned>(size));
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Returns once the simulator's trace shows its bootloader running, as a user waits for the
// supply to restart: a peer that spoke at once would only find the firmware still there.
void JumpToBootloader(const std::string& pty, const std::string& trace) {
  auto client = ModbusClient::Rtu(pty);
  client.SetTimeoutMs(100);
  EXPECT_FALSE(client.Write(32, 9148)) << "the jump is not answered";
  EXPECT_EQ(client.LastError(), ETIMEDOUT);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (CountLines(ReadLines(trace), "\"event\":\"enter\"") == 0) {
    ASSERT_LT(std::chrono::steady_clock::now(), until) << "the simulator never entered its bootloader";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::vector<std::string> Stm32flash(const std::string& pty, std::vector<std::string> args) {
  std::vector<std::string> cmd{"stm32flash", "-m", "8n1", "-b", "38400"};
  cmd.insert(cmd.end(), args.begin(), args.end());
  cmd.push_back(pty);
  return cmd;
}

class Stm32flashSession : public ::testing::TestWithParam<const char*> {};

TEST_P(Stm32flashSession, WritesVerifiesReadsBackAndStartsAnImage) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--erase", GetParam(), "--flash-out", dir / "flash.bin",
                  "--trace", dir / "trace.jsonl"});
  const auto image = RandomImage(5000);
  WriteFile(dir / "image.bin", image);
  ASSERT_TRUE(ModbusClient::Rtu(sim.PtyPath()).Write(6, {1, 0, 0, 1}));  // locked, output on
  JumpToBootloader(sim.PtyPath(), dir / "trace.jsonl");

  const ToolResult write = RunTool(Stm32flash(sim.PtyPath(), {"-w", dir / "image.bin", "-v"}), 30000);
  ASSERT_EQ(write.Code, 0) << write.Output;
  EXPECT_TRUE(Contains(write.Output, "Device ID    : 0x0438")) << write.Output;
  const auto flash = ReadFile(dir / "flash.bin");
  ASSERT_EQ(flash.size(), 65536u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_TRUE(std::all_of(flash.begin() + 5000, flash.end(), [](uint8_t b) { return b == 0xFF; }));

  const ToolResult read = RunTool(Stm32flash(sim.PtyPath(), {"-r", dir / "back.bin", "-S", "0x08000000:5000"}), 30000);
  ASSERT_EQ(read.Code, 0) << read.Output;
  EXPECT_EQ(ReadFile(dir / "back.bin"), image);

  const ToolResult go = RunTool(Stm32flash(sim.PtyPath(), {"-g", "0x08000000"}), 30000);
  ASSERT_EQ(go.Code, 0) << go.Output;
  const auto restarted = ModbusClient::Rtu(sim.PtyPath()).Read(6, 4);
  ASSERT_TRUE(restarted) << "the firmware answers Modbus again";
  EXPECT_EQ((*restarted)[0], 0) << "unlocked";
  EXPECT_EQ((*restarted)[3], 0) << "output off";

  sim.Stop();
  const auto trace = ReadLines(dir / "trace.jsonl");
  EXPECT_EQ(CountLines(trace, "\"fc\":6,\"addr\":32,\"count\":1,\"values\":[9148]"), 1);
  EXPECT_EQ(CountLines(trace, "\"dir\":\"ans\",\"link\":\"rtu\",\"slave\":1,\"fc\":6,\"addr\":32"), 0);
  EXPECT_EQ(CountLines(trace, "\"name\":\"get-version\""), 3);
  EXPECT_EQ(CountLines(trace, "\"name\":\"write\",\"ok\":true"), 20);
  EXPECT_GE(CountLines(trace, "\"name\":\"read\",\"ok\":true"), 40);
  EXPECT_EQ(CountLines(trace, "\"name\":\"go\",\"ok\":true,\"addr\":\"0x08000000\""), 1);
  EXPECT_EQ(CountLines(trace, "\"name\":\"erase-pages\",\"ok\":true"), 1);
}

INSTANTIATE_TEST_SUITE_P(EraseCommands, Stm32flashSession, ::testing::Values("ext", "std"));

TEST(Stm32flashFaults, ARefusedBlockFailsTheWriteAndLeavesItUnwritten) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--fault", "nack-block=3", "--flash-out", dir / "flash.bin",
                  "--boot-pid", "0x414", "--trace", dir / "trace.jsonl"});
  const auto image = RandomImage(2048);
  WriteFile(dir / "image.bin", image);
  JumpToBootloader(sim.PtyPath(), dir / "trace.jsonl");
  const ToolResult write = RunTool(Stm32flash(sim.PtyPath(), {"-w", dir / "image.bin"}), 30000);
  EXPECT_NE(write.Code, 0) << write.Output;
  EXPECT_TRUE(Contains(write.Output, "0x0414")) << write.Output;
  const auto flash = ReadFile(dir / "flash.bin");
  ASSERT_EQ(flash.size(), 262144u);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x300, flash.begin()));
  EXPECT_TRUE(std::all_of(flash.begin() + 0x300, flash.begin() + 0x400, [](uint8_t b) { return b == 0xFF; }));
}

}  // namespace
}  // namespace kelvora::test
