// scpi_bench BAUD [QUERIES]: kpx-sim --baud BAUD on a pseudo-terminal, kelvora-cli serve on it,
// and one client sending each of MEAS:VOLT?, MEAS:CURR?, OUTP?, MEAS:POW? and MEAS? QUERIES
// times (default 200), each after the previous answer. Prints queries per second next to the
// line's limit for the query's own read: 8 request bytes and 5 + 2 per register answer bytes,
// 10 bits each.

#include "tests/support/SimProcess.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using kelvora::test::SimProcess;

namespace {

// The port serve reports on stderr once it listens.
int ServePort(QProcess& aServe) {
  static const QRegularExpression kListening(R"(SCPI on 127\.0\.0\.1:(\d+))");
  QByteArray seen;
  while (aServe.waitForReadyRead(10000)) {
    seen += aServe.readAllStandardError();
    const QRegularExpressionMatch m = kListening.match(QString::fromUtf8(seen));
    if (m.hasMatch()) return m.captured(1).toInt();
  }
  std::fprintf(stderr, "serve did not start: %s\n", seen.constData());
  return -1;
}

QByteArray Query(QTcpSocket& aSocket, const QByteArray& aLine) {
  aSocket.write(aLine + '\n');
  QByteArray answer;
  while (!answer.endsWith('\n') && aSocket.waitForReadyRead(5000)) answer += aSocket.readAll();
  return answer.trimmed();
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: scpi_bench BAUD [QUERIES]\n");
    return 2;
  }
  const int baud = std::atoi(argv[1]);
  const int queries = argc > 2 ? std::atoi(argv[2]) : 200;
  QTemporaryDir dir;
  const std::string link = dir.filePath("kpx").toStdString();
  SimProcess sim({"--rtu", link, "--baud", std::to_string(baud)});
  QProcess serve;
  serve.setProcessChannelMode(QProcess::SeparateChannels);
  serve.setReadChannel(QProcess::StandardError);
  serve.start(QString::fromStdString(SimProcess::BinaryPath()).replace("kpx-sim", "kelvora-cli"),
              {"--port", QString::fromStdString(link), "--baud", QString::number(baud), "serve",
               "--listen", "127.0.0.1:0"});
  const int port = ServePort(serve);
  if (port < 0) return 1;
  QTcpSocket client;
  client.connectToHost("127.0.0.1", static_cast<quint16>(port));
  if (!client.waitForConnected(5000)) return 1;
  Query(client, "MEAS:VOLT?");  // the first exchange after identification
  struct TCase {
    const char* Query;
    int Registers;  // read by the query
  };
  for (const TCase& c : {TCase{"MEAS:VOLT?", 1}, TCase{"MEAS:CURR?", 1}, TCase{"OUTP?", 1},
                         TCase{"MEAS:POW?", 2}, TCase{"MEAS?", 10}}) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < queries; ++i) {
      if (Query(client, c.Query).isEmpty()) {
        std::fprintf(stderr, "no answer to %s %d\n", c.Query, i);
        return 1;
      }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double rate = queries / seconds;
    const double limit = baud / ((8.0 + 5.0 + 2.0 * c.Registers) * 10.0);
    std::printf("baud %d: %d %s in %.2f s: %.1f queries/s; line limit %.1f/s; %.1f %%\n", baud,
                queries, c.Query, seconds, rate, limit, 100.0 * rate / limit);
  }
  serve.terminate();
  serve.waitForFinished(5000);
  return 0;
}
