#include "cli/ScpiServer.h"

#include <QMetaObject>

#include <array>

namespace {
constexpr qsizetype kReadChunk = 16 * 1024;
constexpr int kTimeoutCheckMs = 1000;
const QByteArray kServerFull = "-321,\"Out of memory; too many clients\"\n";
}  // namespace

TScpiServer::TScpiServer(TScpiInstrument& aInstrument, TLinkJobs& aJobs, int aIdleTimeoutS)
    : fInstrument(aInstrument), fJobs(aJobs), fIdleTimeoutMs(qint64{aIdleTimeoutS} * 1000) {
  fClock.start();
  fListener.OnConnection = [this](qintptr aDescriptor) { Accept(aDescriptor); };
  fTimeouts.setInterval(kTimeoutCheckMs);
  connect(&fTimeouts, &QTimer::timeout, this, &TScpiServer::CheckTimeouts);
  fTimeouts.start();
}

TScpiServer::~TScpiServer() {
  for (auto& [id, client] : fClients) fInstrument.Detach(client->Session);
}

bool TScpiServer::Listen(const QHostAddress& aAddress, uint16_t aPort, QString& aError) {
  if (fListener.listen(aAddress, aPort)) return true;
  aError = QString("cannot listen on %1:%2: %3")
               .arg(aAddress.toString())
               .arg(aPort)
               .arg(fListener.errorString());
  return false;
}

void TScpiServer::StopReading() {
  fStopping = true;
  fListener.close();
  for (auto& [id, client] : fClients)
    if (client->Connection) client->Connection->SetReading(false);
}

TScpiServer::TClientPtr TScpiServer::Find(uint64_t aId) const {
  const auto it = fClients.find(aId);
  return it == fClients.end() ? nullptr : it->second;
}

void TScpiServer::Accept(qintptr aDescriptor) {
  if (fClients.size() >= kMaxClients) {
    Refuse(aDescriptor);
    return;
  }
  const uint64_t id = fNextId++;
  auto client = std::make_shared<TClient>();
  client->Connection = std::make_shared<TScpiConnection>(static_cast<int>(aDescriptor));
  client->LastHeardMs = fClock.elapsed();
  client->Connection->SetOnReadable([this, id] { Receive(id); });
  client->Connection->SetOnWritable([this, id] { Flush(id); });
  fInstrument.Attach(client->Session);
  fClients.emplace(id, std::move(client));
}

void TScpiServer::Refuse(qintptr aDescriptor) {
  TScpiConnection refused(static_cast<int>(aDescriptor));
  refused.SetReading(false);
  refused.SendNow(kServerFull.constData(), kServerFull.size());
  // What the client sent already is read away, so that closing ends the connection in order
  // instead of resetting it before the client has read why.
  std::array<char, 4096> sink{};
  qsizetype done = 0;
  while (refused.Receive(sink.data(), sink.size(), done) == TScpiConnection::TResult::Data) {
  }
  refused.ShutdownWrite();
}

void TScpiServer::Receive(uint64_t aId) {
  const TClientPtr client = Find(aId);
  if (!client || !client->Connection) return;
  std::array<char, kReadChunk> chunk;  // filled by each receive
  while (!fStopping && client->Input.Room() > 0) {
    qsizetype done = 0;
    const auto result = client->Connection->Receive(
        chunk.data(), std::min<qsizetype>(chunk.size(), client->Input.Room()), done);
    if (result == TScpiConnection::TResult::WouldBlock) break;
    if (result == TScpiConnection::TResult::Ended) {
      client->InputEnded = true;
      break;
    }
    if (result == TScpiConnection::TResult::Failed) {
      Disconnect(*client);
      break;
    }
    const qint64 now = fClock.elapsed();
    client->LastHeardMs = now;
    client->Input.Append(chunk.data(), done);
    if (!client->Input.HasPartial())
      client->PartialSinceMs = -1;
    else if (client->PartialSinceMs < 0)
      client->PartialSinceMs = now;
  }
  if (client->Connection)
    client->Connection->SetReading(!fStopping && !client->InputEnded && client->Input.Room() > 0);
  Schedule(aId);
  Finish(aId);
}

void TScpiServer::Flush(uint64_t aId) {
  const TClientPtr client = Find(aId);
  if (!client || !client->Connection) return;
  while (!client->Output.isEmpty()) {
    qsizetype done = 0;
    const auto result = client->Connection->Send(client->Output.constData(),
                                                 client->Output.size(), done);
    if (result == TScpiConnection::TResult::Failed) {
      Disconnect(*client);
      break;
    }
    client->Output.remove(0, done);
    if (result == TScpiConnection::TResult::WouldBlock) break;
  }
  if (client->Connection) client->Connection->SetWriting(!client->Output.isEmpty());
  Schedule(aId);
  Finish(aId);
}

void TScpiServer::Schedule(uint64_t aId) {
  const TClientPtr client = Find(aId);
  if (!client || client->Turn || client->Input.Lines() == 0 || fStopping) return;
  if (!client->Gone && client->Output.size() >= kMaxUnsent) return;  // until it reads
  client->Turn = true;
  fJobs.Post([this, aId] { TakeTurn(aId); });
}

void TScpiServer::TakeTurn(uint64_t aId) {
  // Held here: the client may close while its line runs, and is let go only after the turn.
  const TClientPtr client = Find(aId);
  if (!client) return;
  const TScpiLineBuffer::TLine line = client->Input.TakeLine();
  if (client->Connection && !fStopping && !client->InputEnded)
    client->Connection->SetReading(true);
  std::optional<QString> answer;
  client->Session.SetAnswerWaiting(!client->Output.isEmpty());
  if (line.Overrun)
    client->Session.Raise({-363, "Input buffer overrun"});
  else
    answer = fInstrument.Execute(client->Session, line.Text);
  client->Turn = false;
  if (answer && !client->Gone) {
    client->Output += (*answer + '\n').toLatin1();
    Flush(aId);
  }
  Schedule(aId);
  Finish(aId);
}

void TScpiServer::Disconnect(TClient& aClient) {
  aClient.Gone = true;
  aClient.Output.clear();
  if (!aClient.Connection) return;
  aClient.Connection->SetReading(false);
  aClient.Connection->SetWriting(false);
  // Closed from the event loop: this may run inside one of the connection's own notifications.
  QMetaObject::invokeMethod(
      this, [connection = std::move(aClient.Connection)] {}, Qt::QueuedConnection);
}

void TScpiServer::Finish(uint64_t aId) {
  const TClientPtr client = Find(aId);
  if (!client || client->Turn || client->Input.Lines() > 0) return;
  const bool answered = client->InputEnded && client->Output.isEmpty();
  if (!client->Gone && !answered) return;
  Disconnect(*client);
  fInstrument.Detach(client->Session);
  fClients.erase(aId);
}

void TScpiServer::CheckTimeouts() {
  const qint64 now = fClock.elapsed();
  std::vector<uint64_t> expired;
  for (const auto& [id, client] : fClients) {
    if (client->Gone) continue;
    // A client that has shut its side sends no more: what it left unfinished is dropped anyway.
    const bool stalled = !client->InputEnded && client->PartialSinceMs >= 0 &&
                         now - client->PartialSinceMs >= kPartialLineMs;
    const bool idle = fIdleTimeoutMs > 0 && now - client->LastHeardMs >= fIdleTimeoutMs &&
                      !client->Turn && client->Input.Lines() == 0 && client->Output.isEmpty();
    if (stalled || idle) expired.push_back(id);
  }
  for (const uint64_t id : expired) {
    Disconnect(*Find(id));
    Finish(id);
  }
}
