#include "sim/PseudoTerminal.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace kpxsim {

namespace {
std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// Whatever a client sets later, the line starts raw: no echo, no line editing, no CR mapping.
void MakeRaw(int fd) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return;
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
}

bool ReplaceableLink(const std::string& path, std::string* error) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) return true;
  if (!S_ISLNK(st.st_mode)) {
    if (error) *error = path + " exists and is not a link";
    return false;
  }
  // A link to a port that still exists belongs to a simulator that is still serving.
  if (::stat(path.c_str(), &st) == 0) {
    if (error) *error = path + " is in use";
    return false;
  }
  // A link left by a simulator that did not stop cleanly.
  ::unlink(path.c_str());
  return true;
}
}  // namespace

bool PseudoTerminal::Open(const std::string& linkPath, std::string* error) {
  Close();
  const auto fail = [&](const std::string& why) {
    if (error) *error = why;
    Close();
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) return fail(ErrnoText("posix_openpt"));
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail(ErrnoText("unlockpt"));
  char name[256];
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail(ErrnoText("ptsname"));
  slavePath_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave_ < 0) return fail(ErrnoText("open " + slavePath_));
  MakeRaw(slave_);
  // Watched after our own open, so that only the clients count.
  watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch_ < 0 || ::inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE) < 0)
    return fail(ErrnoText("inotify " + slavePath_));
  clients_ = 0;

  // A link in a folder that is not there is a mistyped path: nothing is created on a guess.
  const std::filesystem::path folder = std::filesystem::path(linkPath).parent_path();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
    Close();
    if (error) *error = "no folder " + folder.string() + " for the link " + linkPath;
    return false;
  }
  if (!ReplaceableLink(linkPath, error)) {
    Close();
    return false;
  }
  if (::symlink(slavePath_.c_str(), linkPath.c_str()) != 0) return fail(ErrnoText("symlink " + linkPath));
  linkPath_ = linkPath;
  return true;
}

void PseudoTerminal::DiscardUnread() {
  if (slave_ >= 0) ::tcflush(slave_, TCIFLUSH);
}

void PseudoTerminal::ServiceWatch() {
  alignas(inotify_event) char buf[4096];
  ssize_t n;
  while (watch_ >= 0 && (n = ::read(watch_, buf, sizeof buf)) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buf + at);
      // The first client to arrive finds nothing of what was sent while the port was closed.
      if ((event->mask & IN_OPEN) && clients_++ == 0) DiscardUnread();
      if ((event->mask & IN_CLOSE) && clients_ > 0 && --clients_ == 0) DiscardUnread();
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

void PseudoTerminal::Close() {
  if (!linkPath_.empty()) {
    // Only our own link goes; a newer simulator may have taken the name meanwhile.
    char target[256];
    const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == slavePath_) ::unlink(linkPath_.c_str());
    linkPath_.clear();
  }
  for (int* fd : {&watch_, &slave_, &master_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  slavePath_.clear();
}

}  // namespace kpxsim
