#include "cli/ScpiConnection.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

TScpiConnection::TScpiConnection(int aDescriptor) : fDescriptor(aDescriptor) {
  ::fcntl(fDescriptor, F_SETFL, ::fcntl(fDescriptor, F_GETFL) | O_NONBLOCK);
  fRead = std::make_unique<QSocketNotifier>(fDescriptor, QSocketNotifier::Read);
  fWrite = std::make_unique<QSocketNotifier>(fDescriptor, QSocketNotifier::Write);
  fWrite->setEnabled(false);
}

TScpiConnection::~TScpiConnection() {
  fRead.reset();
  fWrite.reset();
  ::close(fDescriptor);
}

void TScpiConnection::SetOnReadable(std::function<void()> aHandler) {
  QObject::connect(fRead.get(), &QSocketNotifier::activated, std::move(aHandler));
}

void TScpiConnection::SetOnWritable(std::function<void()> aHandler) {
  QObject::connect(fWrite.get(), &QSocketNotifier::activated, std::move(aHandler));
}

void TScpiConnection::SetReading(bool aOn) { fRead->setEnabled(aOn); }
void TScpiConnection::SetWriting(bool aOn) { fWrite->setEnabled(aOn); }

TScpiConnection::TResult TScpiConnection::Receive(char* aBuffer, qsizetype aSize,
                                                  qsizetype& aDone) {
  aDone = 0;
  const ssize_t n = ::recv(fDescriptor, aBuffer, static_cast<size_t>(aSize), 0);
  if (n > 0) {
    aDone = n;
    return TResult::Data;
  }
  if (n == 0) return TResult::Ended;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return TResult::WouldBlock;
  return TResult::Failed;
}

TScpiConnection::TResult TScpiConnection::Send(const char* aData, qsizetype aSize,
                                               qsizetype& aDone) {
  aDone = 0;
  const ssize_t n = ::send(fDescriptor, aData, static_cast<size_t>(aSize), MSG_NOSIGNAL);
  if (n >= 0) {
    aDone = n;
    return TResult::Data;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return TResult::WouldBlock;
  return TResult::Failed;
}

void TScpiConnection::SendNow(const char* aData, qsizetype aSize) {
  [[maybe_unused]] const ssize_t n =
      ::send(fDescriptor, aData, static_cast<size_t>(aSize), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void TScpiConnection::ShutdownWrite() { ::shutdown(fDescriptor, SHUT_WR); }
