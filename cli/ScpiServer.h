#pragma once
// SCPI over a raw TCP socket, as bench instruments serve it on port 5025: lines end in LF (CR LF
// accepted), answers end in LF. Every client has its own session; their lines are run one at
// a time, in the order they arrived, on the one supply link.

#include "cli/LinkJobs.h"
#include "cli/ScpiInstrument.h"
#include "cli/ScpiSession.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <cstdint>
#include <map>
#include <memory>

class QTcpSocket;

class TScpiServer : public QObject {
 public:
  static constexpr qsizetype kMaxLine = 4096;
  static constexpr size_t kMaxClients = 16;

  TScpiServer(TScpiInstrument& aInstrument, TLinkJobs& aJobs);
  ~TScpiServer() override;

  bool Listen(const QHostAddress& aAddress, uint16_t aPort, QString& aError);
  uint16_t Port() const { return fServer.serverPort(); }
  size_t ClientCount() const { return fClients.size(); }

 private:
  struct TClient {
    QTcpSocket* Socket = nullptr;
    QByteArray Partial;       // the line being received
    bool Overrun = false;     // the rest of an over-long line is being dropped
    size_t Queued = 0;        // lines waiting to be run
    TScpiSession Session;
  };
  // A client with this many lines waiting is not read from until they have run, so a client
  // that floods the server waits on its own socket instead of growing the queue.
  static constexpr size_t kMaxQueuedLines = 32;

  void Accept();
  void Receive(uint64_t aId);
  void ReadAvailable(uint64_t aId, TClient& aClient);
  void Split(uint64_t aId, TClient& aClient, const QByteArray& aBytes);
  // Queues a line of the client's, or the refusal of an over-long one, on the link.
  void Queue(uint64_t aId, TClient& aClient, const QByteArray& aLine, bool aOverrun);
  void Run(uint64_t aId, const QByteArray& aLine, bool aOverrun);
  void Drop(uint64_t aId);

  TScpiInstrument& fInstrument;
  QTcpServer fServer;
  // Shared so that a line running for a client keeps its session should the client leave.
  std::map<uint64_t, std::shared_ptr<TClient>> fClients;
  TLinkJobs& fJobs;
  uint64_t fNextId = 1;
};
