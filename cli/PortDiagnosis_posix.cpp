#include "cli/PortDiagnosis.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

TPortProblem DiagnosePort(const QString& aPath) {
  const QByteArray path = aPath.toLocal8Bit();
  const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case ENOENT:
      case ENOTDIR:
      case ENXIO:
      case ENODEV: return TPortProblem::Missing;
      case EACCES:
      case EPERM: return TPortProblem::Permission;
      case EBUSY: return TPortProblem::Busy;  // held in exclusive mode
      case EISDIR: return TPortProblem::NotSerial;
      default: return TPortProblem::Other;
    }
  }
  TPortProblem problem = TPortProblem::None;
  if (!::isatty(fd))
    problem = TPortProblem::NotSerial;
  else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    problem = errno == EWOULDBLOCK ? TPortProblem::Busy : TPortProblem::Other;
  ::close(fd);
  return problem;
}
