#include "cli/ScpiServer.h"

#include <QTcpSocket>

TScpiServer::TScpiServer(TScpiInstrument& aInstrument, TLinkJobs& aJobs)
    : fInstrument(aInstrument), fJobs(aJobs) {
  connect(&fServer, &QTcpServer::newConnection, this, &TScpiServer::Accept);
}

TScpiServer::~TScpiServer() {
  for (auto& [id, client] : fClients) {
    client->Socket->disconnect(this);
    client->Socket->abort();
  }
}

bool TScpiServer::Listen(const QHostAddress& aAddress, uint16_t aPort, QString& aError) {
  if (fServer.listen(aAddress, aPort)) return true;
  aError = QString("cannot listen on %1:%2: %3")
               .arg(aAddress.toString())
               .arg(aPort)
               .arg(fServer.errorString());
  return false;
}

void TScpiServer::Accept() {
  while (QTcpSocket* socket = fServer.nextPendingConnection()) {
    socket->setParent(this);
    if (fClients.size() >= kMaxClients) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    const uint64_t id = fNextId++;
    auto client = std::make_shared<TClient>();
    client->Socket = socket;
    fClients.emplace(id, std::move(client));
    connect(socket, &QTcpSocket::readyRead, this, [this, id] { Receive(id); });
    connect(socket, &QTcpSocket::disconnected, this, [this, id] { Drop(id); });
  }
}

void TScpiServer::Drop(uint64_t aId) {
  const auto it = fClients.find(aId);
  if (it == fClients.end()) return;
  it->second->Socket->disconnect(this);
  it->second->Socket->deleteLater();
  fClients.erase(it);
}

void TScpiServer::Receive(uint64_t aId) {
  const auto it = fClients.find(aId);
  if (it == fClients.end()) return;
  ReadAvailable(aId, *it->second);
}

void TScpiServer::ReadAvailable(uint64_t aId, TClient& aClient) {
  while (aClient.Queued < kMaxQueuedLines && aClient.Socket->bytesAvailable() > 0)
    Split(aId, aClient, aClient.Socket->read(kMaxLine));
}

void TScpiServer::Split(uint64_t aId, TClient& aClient, const QByteArray& aBytes) {
  qsizetype from = 0;
  while (from < aBytes.size()) {
    const qsizetype end = aBytes.indexOf('\n', from);
    const QByteArray piece = aBytes.mid(from, end < 0 ? -1 : end - from);
    from = end < 0 ? aBytes.size() : end + 1;
    if (!aClient.Overrun) {
      aClient.Partial += piece;
      if (aClient.Partial.size() > kMaxLine) {
        aClient.Partial.clear();
        aClient.Overrun = true;
        Queue(aId, aClient, {}, true);
      }
    }
    if (end < 0) break;
    if (!aClient.Overrun) {
      QByteArray line = aClient.Partial;
      if (line.endsWith('\r')) line.chop(1);
      Queue(aId, aClient, line, false);
    }
    aClient.Partial.clear();
    aClient.Overrun = false;
  }
}

void TScpiServer::Queue(uint64_t aId, TClient& aClient, const QByteArray& aLine, bool aOverrun) {
  ++aClient.Queued;
  fJobs.Post([this, aId, aLine, aOverrun] { Run(aId, aLine, aOverrun); });
}

void TScpiServer::Run(uint64_t aId, const QByteArray& aLine, bool aOverrun) {
  const auto it = fClients.find(aId);
  if (it == fClients.end()) return;  // the client left before its turn
  const std::shared_ptr<TClient> client = it->second;
  --client->Queued;
  std::optional<QString> answer;
  if (aOverrun)
    client->Session.Raise({-363, "Input buffer overrun"});
  else
    answer = fInstrument.Execute(client->Session, aLine);
  if (!fClients.count(aId)) return;  // it left while its line ran
  if (answer) client->Socket->write((*answer + '\n').toLatin1());
  ReadAvailable(aId, *client);
}
