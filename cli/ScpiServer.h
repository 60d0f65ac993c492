#pragma once
// SCPI over a raw TCP socket, as bench instruments serve it on port 5025: lines end in LF (CR LF
// accepted), answers end in LF. Every client has its own session. A line the server has received
// is carried out, whether or not its client is still there; a client that shuts its side gets
// the answers of its lines before the server closes. The clients take turns on the one supply
// link, one line each, and each is bounded: its unread input waits in the kernel once its buffer
// is full, and its lines wait while its unsent answers fill their limit.

#include "cli/LinkJobs.h"
#include "cli/ScpiConnection.h"
#include "cli/ScpiInstrument.h"
#include "cli/ScpiLineBuffer.h"
#include "cli/ScpiSession.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class TScpiServer : public QObject {
 public:
  static constexpr size_t kMaxClients = 16;
  // A client's lines wait while this much of its answers is unsent.
  static constexpr qsizetype kMaxUnsent = 64 * 1024;
  // A line begun and not ended for this long closes its client: it holds a place for nothing.
  static constexpr qint64 kPartialLineMs = 30000;

  // aIdleTimeoutS: a client silent this long, with nothing waiting for it, is closed; 0 never.
  TScpiServer(TScpiInstrument& aInstrument, TLinkJobs& aJobs, int aIdleTimeoutS);
  ~TScpiServer() override;

  bool Listen(const QHostAddress& aAddress, uint16_t aPort, QString& aError);
  uint16_t Port() const { return fListener.serverPort(); }
  size_t ClientCount() const { return fClients.size(); }
  // For a stop: no more connections, no more input read, no more lines begun.
  void StopReading();

 private:
  class TListener : public QTcpServer {
   public:
    std::function<void(qintptr)> OnConnection;

   protected:
    void incomingConnection(qintptr aDescriptor) override { OnConnection(aDescriptor); }
  };
  struct TClient {
    std::shared_ptr<TScpiConnection> Connection;  // null once closed
    TScpiLineBuffer Input;
    QByteArray Output;         // answers not yet sent
    bool InputEnded = false;   // the client shut its side
    bool Gone = false;         // closed: its lines still run, their answers go nowhere
    bool Turn = false;         // a turn of its is posted or running
    qint64 LastHeardMs = 0;
    qint64 PartialSinceMs = -1;  // when the line being received began
    TScpiSession Session;
  };
  using TClientPtr = std::shared_ptr<TClient>;

  void Accept(qintptr aDescriptor);
  void Refuse(qintptr aDescriptor);
  void Receive(uint64_t aId);
  void Flush(uint64_t aId);
  void Schedule(uint64_t aId);
  void TakeTurn(uint64_t aId);
  // Closes the connection; the client stays until its lines have run.
  void Disconnect(TClient& aClient);
  // Lets a client go that has nothing left to do.
  void Finish(uint64_t aId);
  void CheckTimeouts();
  TClientPtr Find(uint64_t aId) const;

  TScpiInstrument& fInstrument;
  TLinkJobs& fJobs;
  const qint64 fIdleTimeoutMs;
  TListener fListener;
  QTimer fTimeouts;
  QElapsedTimer fClock;
  std::map<uint64_t, TClientPtr> fClients;
  uint64_t fNextId = 1;
  bool fStopping = false;
};
