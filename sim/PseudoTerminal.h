#pragma once
// The supply's serial port: a pseudo-terminal whose slave side a client opens through a symlink.
// The simulator keeps its own descriptor of the slave side, so that the master never reads EIO
// when a client closes the port and opens it again.

#include <string>

namespace kpxsim {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal() { Close(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Creates the pseudo-terminal and links linkPath to its slave side; a dangling link left at
  // linkPath is replaced, anything else there (a live port's link included) is an error.
  bool Open(const std::string& linkPath, std::string* error);

  // Closes both sides and removes the link, as when the cable is pulled.
  void Close();

  // Throws away what was sent to the client and never read, as a UART overrun loses it.
  void DiscardUnread();

  // Readable when a client opened or closed the slave side.
  int WatchFd() const { return watch_; }
  // Follows the clients' opens and closes. Bytes nobody read when the last client closed the
  // port, or sent while it was closed, are lost, as on a real serial port; our own descriptor
  // would otherwise keep them for the next client. The close is seen a moment after it happens.
  void ServiceWatch();

  bool IsOpen() const { return master_ >= 0; }
  int MasterFd() const { return master_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  int watch_ = -1;
  int clients_ = 0;
  std::string slavePath_;
  std::string linkPath_;
};

}  // namespace kpxsim
