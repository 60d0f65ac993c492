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

  // Creates the pseudo-terminal and links linkPath to its slave side; a stale link left at
  // linkPath is replaced, anything else there is an error.
  bool Open(const std::string& linkPath, std::string* error);

  // Closes both sides and removes the link, as when the cable is pulled.
  void Close();

  bool IsOpen() const { return master_ >= 0; }
  int MasterFd() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  const std::string& LinkPath() const { return linkPath_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string linkPath_;
};

}  // namespace kpxsim
