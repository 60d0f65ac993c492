#include "modbus/platform/SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

speed_t SpeedOf(int32_t baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
  }
}

// Unix 98 pseudo-terminal slaves: the kernel refuses parity on them.
bool IsPseudoTerminal(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned m = major(st.st_rdev);
  return m >= 136 && m <= 143;
}

// False for settings termios has no equivalent for.
bool BuildTermios(const TKRSerialSettings& s, termios& t) {
  const speed_t speed = SpeedOf(s.BaudRate);
  if (speed == 0) return false;
  if (s.DataBits != 7 && s.DataBits != 8) return false;
  if (s.Parity < 0 || s.Parity > 2) return false;       // mark and space
  if (s.StopBits != 0 && s.StopBits != 2) return false;  // one and a half
  if (s.OutDSRFlow || s.DSRSensitivity || s.ControlDTR > 1 || s.ControlRTS > 2) return false;
  if (s.TxContinueOnXoff || s.DiscardNull) return false;
  if (s.ParityCheck && s.ParityReplace && s.ParityReplaceChar != 0) return false;

  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= s.DataBits == 7 ? CS7 : CS8;
  if (s.Parity == 1) t.c_cflag |= PARENB | PARODD;
  if (s.Parity == 2) t.c_cflag |= PARENB;
  if (s.StopBits == 2) t.c_cflag |= CSTOPB;
  if (s.OutCTSFlow || s.ControlRTS == 2) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  if (s.XonXoffOut) t.c_iflag |= IXON;
  if (s.XonXoffIn) t.c_iflag |= IXOFF;
  // Bytes with parity errors pass unchanged unless they are to be replaced (by NUL).
  if (s.ParityCheck && s.ParityReplace) t.c_iflag |= INPCK;
  t.c_cc[VSTART] = s.XonChar;
  t.c_cc[VSTOP] = s.XoffChar;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  return true;
}

// The exclusive mode belongs to the terminal, not to this descriptor: it outlives the close
// while anyone else (a simulator on the master side) keeps the terminal open, and then refuses
// every later open by a normal user. So it is cleared first; the lock goes with the descriptor.
void ReleaseAndClose(int fd) {
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
}

}  // namespace

TKRSerialOpenResult TKRSerialDevice::Open(const std::string& APath,
                                          const TKRSerialSettings& ASettings) {
  Close();
  const int fd = ::open(APath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return sorOpenFailed;
  bool exclusive = false;  // only a mode this open set is cleared: another program's stays
  auto fail = [fd, &exclusive](TKRSerialOpenResult r) {
    if (exclusive) ReleaseAndClose(fd);
    else ::close(fd);
    return r;
  };
  // Two guards, neither complete: the advisory lock refuses a second program that takes it too
  // (root included), and the terminal's exclusive mode below refuses any later open except
  // one by root.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(sorOpenFailed);
  if (!isatty(fd)) return fail(sorOpenFailed);
  if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) return fail(sorOpenFailed);
  exclusive = true;
  if (ASettings.InputBuffer <= 0 || ASettings.OutputBuffer <= 0) return fail(sorQueueRefused);

  termios t{};
  if (tcgetattr(fd, &t) != 0 || !BuildTermios(ASettings, t)) return fail(sorLineRefused);
  if (tcsetattr(fd, TCSANOW, &t) != 0) {
    // A pseudo-terminal takes everything but parity: open it with the rest, so that a simulated
    // supply can stand in for the real line.
    if (errno != EINVAL || !(t.c_cflag & PARENB) || !IsPseudoTerminal(fd))
      return fail(sorLineRefused);
    t.c_cflag &= ~(PARENB | PARODD);
    t.c_iflag &= ~INPCK;
    if (tcsetattr(fd, TCSANOW, &t) != 0) return fail(sorLineRefused);
  }
  // DTR and RTS are held off unless asked for; a handshaking RTS belongs to the driver.
  int on = 0, off = 0;
  (ASettings.ControlDTR == 1 ? on : off) |= TIOCM_DTR;
  if (ASettings.ControlRTS != 2) (ASettings.ControlRTS == 1 ? on : off) |= TIOCM_RTS;
  if (on) ::ioctl(fd, TIOCMBIS, &on);
  if (off) ::ioctl(fd, TIOCMBIC, &off);  // a pseudo-terminal has no modem lines
  tcflush(fd, TCIOFLUSH);
  fFd = fd;
  return sorOk;
}

void TKRSerialDevice::Close() {
  if (fFd < 0) return;
  ReleaseAndClose(static_cast<int>(fFd));
  fFd = -1;
}

int32_t TKRSerialDevice::Write(const uint8_t* ABuffer, int32_t ACount, uint32_t ATimeoutMs) {
  if (fFd < 0 || ACount <= 0) return 0;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ATimeoutMs);
  int32_t written = 0;
  while (written < ACount) {
    const ssize_t n = ::write(static_cast<int>(fFd), ABuffer + written,
                              static_cast<size_t>(ACount - written));
    if (n > 0) {
      written += static_cast<int32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{static_cast<int>(fFd), POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0 || (p.revents & (POLLERR | POLLHUP))) break;
  }
  return written;
}

int32_t TKRSerialDevice::Read(uint8_t* ABuffer, int32_t ACount) {
  if (fFd < 0 || ACount <= 0) return 0;
  const ssize_t n = ::read(static_cast<int>(fFd), ABuffer, static_cast<size_t>(ACount));
  return n > 0 ? static_cast<int32_t>(n) : 0;
}

int32_t TKRSerialDevice::InputCount() {
  int count = 0;
  if (fFd < 0 || ::ioctl(static_cast<int>(fFd), FIONREAD, &count) != 0) return 0;
  return count;
}

TKRSerialWait TKRSerialDevice::WaitForInput(uint32_t ATimeoutMs) {
  if (fFd < 0) return swFailed;
  pollfd p{static_cast<int>(fFd), POLLIN, 0};
  const int r = ::poll(&p, 1, static_cast<int>(ATimeoutMs));
  if (r == 0) return swTimeout;
  if (r < 0) return errno == EINTR ? swTimeout : swFailed;
  if (p.revents & POLLIN) return swReadable;
  return swFailed;  // hung up or in error: no input will come
}

void TKRSerialDevice::DiscardInput() {
  if (fFd >= 0) tcflush(static_cast<int>(fFd), TCIFLUSH);
}
