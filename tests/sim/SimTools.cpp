#include "tests/sim/SimTools.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace kelvora::test {

ToolResult RunTool(const std::vector<std::string>& argv, int timeoutMs) {
  ToolResult result;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> store(argv);
  std::vector<char*> args;
  for (std::string& a : store) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    result.Output = "cannot start " + argv[0];
    return result;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool killed = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now()).count();
    pollfd p{fds[0], POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) == 0) {
      ::kill(pid, SIGKILL);
      killed = true;
      break;
    }
    char buf[4096];
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    result.Output.append(buf, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.Code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (killed) result.Output += "\n[killed after " + std::to_string(timeoutMs) + " ms]";
  return result;
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kpx-sim-test-XXXXXX").string();
  if (::mkdtemp(pattern.data())) path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

ModbusClient::ModbusClient(modbus_t* ctx) : ctx_(ctx) {
  if (!ctx_) return;
  connected_ = modbus_connect(ctx_) == 0;
  SetTimeoutMs(kPatientMs);
}

ModbusClient ModbusClient::Rtu(const std::string& path, int slave) {
  ModbusClient c(modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1));
  if (c.ctx_) modbus_set_slave(c.ctx_, slave);
  return c;
}

ModbusClient ModbusClient::Tcp(const std::string& address, uint16_t port) {
  return ModbusClient(modbus_new_tcp(address.c_str(), port));
}

ModbusClient::~ModbusClient() {
  if (!ctx_) return;
  modbus_close(ctx_);
  modbus_free(ctx_);
}

void ModbusClient::SetTimeoutMs(int ms) {
  if (ctx_) modbus_set_response_timeout(ctx_, ms / 1000, (ms % 1000) * 1000);
}

std::optional<std::vector<uint16_t>> ModbusClient::Read(int address, int count) {
  std::vector<uint16_t> values(static_cast<size_t>(count));
  if (!connected_ || modbus_read_registers(ctx_, address, count, values.data()) != count) {
    error_ = errno;
    // A late or damaged answer must not be taken for the next one.
    modbus_flush(ctx_);
    return std::nullopt;
  }
  return values;
}

bool ModbusClient::Write(int address, uint16_t value) {
  if (connected_ && modbus_write_register(ctx_, address, value) == 1) return true;
  error_ = errno;
  return false;
}

bool ModbusClient::Write(int address, const std::vector<uint16_t>& values) {
  const int n = static_cast<int>(values.size());
  if (connected_ && modbus_write_registers(ctx_, address, n, values.data()) == n) return true;
  error_ = errno;
  return false;
}

RawPort::RawPort(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
  termios t{};
  if (fd_ >= 0 && ::tcgetattr(fd_, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
  }
}

RawPort::~RawPort() {
  if (fd_ >= 0) ::close(fd_);
}

bool RawPort::Write(const std::vector<uint8_t>& bytes) {
  return fd_ >= 0 && ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::vector<uint8_t> RawPort::Read(size_t count, int timeoutMs) {
  std::vector<uint8_t> got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (fd_ >= 0 && got.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now()).count();
    pollfd p{fd_, POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    uint8_t buf[256];
    const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace kelvora::test
