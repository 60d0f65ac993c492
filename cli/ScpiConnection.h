#pragma once
// One accepted TCP connection of the SCPI server, on its own descriptor: QTcpSocket takes the
// peer's half-close for a full close and reads without limit, while a client that sends its
// lines and then shuts its side must still get its answers, and a flooding client must wait in
// the kernel. Reading and writing are switched on and off by the server.

#include <QSocketNotifier>

#include <functional>
#include <memory>

class TScpiConnection {
 public:
  enum class TResult { Data, WouldBlock, Ended, Failed };

  // Takes the descriptor (an accepted socket) and makes it non-blocking.
  explicit TScpiConnection(int aDescriptor);
  ~TScpiConnection();
  TScpiConnection(const TScpiConnection&) = delete;
  TScpiConnection& operator=(const TScpiConnection&) = delete;

  void SetOnReadable(std::function<void()> aHandler);
  void SetOnWritable(std::function<void()> aHandler);
  void SetReading(bool aOn);
  void SetWriting(bool aOn);

  // Bytes into aBuffer (aDone of them); Ended once the peer has shut its side.
  TResult Receive(char* aBuffer, qsizetype aSize, qsizetype& aDone);
  // Bytes sent of aData (aDone of them); Failed when the peer is gone.
  TResult Send(const char* aData, qsizetype aSize, qsizetype& aDone);
  // Sends what the kernel takes at once, without waiting (the refusal of a client).
  void SendNow(const char* aData, qsizetype aSize);
  // Ends our side after the last answer; the peer sees end of input.
  void ShutdownWrite();

 private:
  int fDescriptor;
  std::unique_ptr<QSocketNotifier> fRead, fWrite;
};
