#include "cli/CliOptions.h"

#include "cli/MqttTopics.h"

#include <QHostAddress>
#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr std::array<int32_t, 7> kBaudRates{2400, 4800, 9600, 19200, 38400, 57600, 115200};
// The longest read and write that fit one frame (function 3 and 16).
constexpr int kMaxReadCount = 125, kMaxWriteCount = 123;

struct TUsageError {
  QString Text;
};

[[noreturn]] void Refuse(const QString& aText) { throw TUsageError{aText}; }

// Decimal or 0x hexadecimal, within 0..aMax.
uint64_t Number(const QString& aText, uint64_t aMax, const QString& aWhat) {
  bool ok = false;
  const bool hex = aText.startsWith("0x", Qt::CaseInsensitive);
  const uint64_t v = hex ? aText.mid(2).toULongLong(&ok, 16) : aText.toULongLong(&ok, 10);
  if (!ok || aText.startsWith('+') || v > aMax) Refuse(QString("bad %1: %2").arg(aWhat, aText));
  return v;
}

double Quantity(const QString& aText, const QString& aWhat) {
  bool ok = false;
  const double v = aText.toDouble(&ok);  // the C locale: "." decimals whatever the user's locale
  if (!ok || !std::isfinite(v) || v < 0) Refuse(QString("bad %1: %2").arg(aWhat, aText));
  return v;
}

bool OnOff(const QString& aText, const QString& aCommand) {
  if (aText == "on") return true;
  if (aText == "off") return false;
  Refuse(QString("%1 takes on or off, not %2").arg(aCommand, aText));
}

class TParser {
 public:
  explicit TParser(const QStringList& aArgs) : fArgs(aArgs) {}

  TParsedCommandLine Run() {
    TParsedCommandLine result;
    try {
      QStringList positional;
      while (fNext < fArgs.size()) {
        const QString arg = fArgs[fNext++];
        if (arg == "--help" || arg == "-h") {
          result.Help = true;
          return result;
        }
        if (arg.startsWith("--"))
          Option(arg);
        else
          positional << arg;
      }
      Command(positional);
      CheckOptionsFitCommand();
      result.Options = fOptions;
    } catch (const TUsageError& e) {
      result.Error = e.Text;
    }
    return result;
  }

 private:
  QString Value(const QString& aOption) {
    if (fNext >= fArgs.size()) Refuse("missing value for " + aOption);
    return fArgs[fNext++];
  }

  void Option(const QString& aOption) {
    fSeen << aOption;
    if (aOption == "--port") {
      fOptions.Port = Value(aOption);
    } else if (aOption == "--tcp") {
      Tcp(Value(aOption));
    } else if (aOption == "--baud") {
      const QString text = Value(aOption);
      fOptions.Baud = static_cast<int32_t>(Number(text, 115200, "baud rate"));
      if (std::find(kBaudRates.begin(), kBaudRates.end(), fOptions.Baud) == kBaudRates.end())
        Refuse("baud rate must be one of 2400 4800 9600 19200 38400 57600 115200, not " + text);
    } else if (aOption == "--slave") {
      const QString text = Value(aOption);
      fOptions.Slave = static_cast<uint8_t>(Number(text, 247, "slave address"));
      if (fOptions.Slave == 0) Refuse("slave address must be 1 to 247");
    } else if (aOption == "--retries") {
      fOptions.Retry.Retries = static_cast<int32_t>(
          Number(Value(aOption), TRetryPolicy::kMaxRetries,
                 QString("retries (0..%1)").arg(TRetryPolicy::kMaxRetries)));
    } else if (aOption == "--json") {
      fOptions.Json = true;
    } else if (aOption == "--voltage") {
      fOptions.Voltage = Quantity(Value(aOption), "voltage");
    } else if (aOption == "--current") {
      fOptions.Current = Quantity(Value(aOption), "current");
    } else if (aOption == "--interval") {
      fOptions.IntervalMs = static_cast<int32_t>(Number(Value(aOption), 86'400'000, "interval"));
      if (fOptions.IntervalMs < 10) Refuse("interval must be at least 10 ms");
    } else if (aOption == "--count") {
      fOptions.Count = static_cast<int64_t>(
          Number(Value(aOption), std::numeric_limits<int64_t>::max(), "count"));
      if (*fOptions.Count == 0) Refuse("count must be at least 1");
    } else if (aOption == "--csv") {
      fOptions.CsvFile = Value(aOption);
      if (fOptions.CsvFile.isEmpty()) Refuse("--csv needs a file name");
    } else if (aOption == "--listen") {
      Listen(Value(aOption));
    } else if (aOption == "--idle-timeout") {
      fOptions.IdleTimeoutS = static_cast<int32_t>(Number(Value(aOption), 86'400, "idle timeout"));
    } else if (aOption == "--mqtt") {
      Mqtt(Value(aOption));
    } else if (aOption == "--mqtt-prefix") {
      fOptions.MqttPrefix = Value(aOption);
      const QString problem = MqttPrefixProblem(fOptions.MqttPrefix);
      if (!problem.isEmpty()) Refuse("--mqtt-prefix: " + problem);
    } else if (aOption == "--discovery-prefix") {
      fOptions.DiscoveryPrefix = Value(aOption);
      const QString problem = MqttPrefixProblem(fOptions.DiscoveryPrefix);
      if (!problem.isEmpty()) Refuse("--discovery-prefix: " + problem);
    } else if (aOption == "--mqtt-name") {
      fOptions.MqttName = Value(aOption).trimmed();
      if (fOptions.MqttName.isEmpty()) Refuse("--mqtt-name needs a name");
    } else if (aOption == "--mqtt-takeover") {
      fOptions.MqttTakeover = true;
    } else if (aOption == "--remove-discovery") {
      fOptions.MqttRemoveDiscovery = true;
    } else if (aOption == "--heartbeat") {
      fOptions.HeartbeatS = static_cast<int32_t>(Number(Value(aOption), 86'400, "heartbeat"));
      if (fOptions.HeartbeatS == 0) Refuse("heartbeat must be at least 1 s");
    } else if (aOption == "--mqtt-cert") {
      fOptions.MqttCertFile = Value(aOption);
    } else if (aOption == "--mqtt-key") {
      fOptions.MqttKeyFile = Value(aOption);
    } else if (aOption == "--mqtt-user") {
      fOptions.MqttUser = Value(aOption);
    } else if (aOption == "--mqtt-password-file") {
      fOptions.MqttPasswordFile = Value(aOption);
    } else if (aOption == "--mqtt-tls") {
      fOptions.MqttCaFile = Value(aOption);
    } else if (aOption == "--no-discovery") {
      fOptions.MqttDiscovery = false;
    } else if (aOption == "--no-verify") {
      fOptions.Verify = false;
    } else {
      Refuse("unknown option " + aOption);
    }
  }

  // HOST, HOST:PORT, an IPv6 address alone, or [IPv6]:PORT.
  void Tcp(const QString& aText) {
    std::optional<QString> port;
    if (aText.startsWith('[')) {
      const qsizetype close = aText.indexOf(']');
      if (close < 0) Refuse("--tcp: no ] after the IPv6 address in " + aText);
      fOptions.TcpHost = aText.mid(1, close - 1);
      const QString rest = aText.mid(close + 1);
      if (!rest.isEmpty() && !rest.startsWith(':')) Refuse("--tcp: bad text after ] in " + aText);
      if (!rest.isEmpty()) port = rest.mid(1);
    } else if (aText.count(':') == 1) {
      const qsizetype colon = aText.indexOf(':');
      fOptions.TcpHost = aText.left(colon);
      port = aText.mid(colon + 1);
    } else {
      fOptions.TcpHost = aText;  // no colon, or an IPv6 address without a port
    }
    if (port) {
      fOptions.TcpPort = static_cast<uint16_t>(Number(*port, 65535, "TCP port"));
      if (fOptions.TcpPort == 0) Refuse("TCP port must be 1 to 65535");
    }
    if (fOptions.TcpHost.isEmpty()) Refuse("--tcp needs a host");
    if (QHostAddress(fOptions.TcpHost).protocol() == QAbstractSocket::IPv6Protocol)
      Refuse(fOptions.TcpHost +
             " is an IPv6 address: Modbus TCP goes over IPv4 here; give an IPv4 address or host");
  }

  // ADDR:PORT, with an IPv6 address in brackets ("[::1]:5025"); port 0 takes a free one.
  void Listen(const QString& aText) {
    const int colon = aText.lastIndexOf(':');
    if (colon < 0) Refuse("--listen needs ADDR:PORT, not " + aText);
    QString host = aText.left(colon);
    if (host.startsWith('[') && host.endsWith(']')) host = host.mid(1, host.size() - 2);
    if (host == "localhost") host = "127.0.0.1";
    if (QHostAddress(host).isNull()) Refuse("--listen needs an IP address, not " + host);
    fOptions.ListenHost = host;
    fOptions.ListenPort = static_cast<uint16_t>(Number(aText.mid(colon + 1), 65535, "listen port"));
  }

  // HOST[:PORT]: a broker the bridge publishes to; an IPv6 address bare or in brackets
  // ("::1", "[::1]:1883").
  void Mqtt(const QString& aText) {
    int colon = aText.lastIndexOf(':');
    if (aText.startsWith('[')) {
      const int close = aText.indexOf(']');
      if (close < 0 || (close + 1 < aText.size() && aText[close + 1] != ':'))
        Refuse("--mqtt needs [IPV6]:PORT, not " + aText);
      fOptions.MqttHost = aText.mid(1, close - 1);
      colon = close + 1 < aText.size() ? close + 1 : -1;
      if (QHostAddress(fOptions.MqttHost).protocol() != QAbstractSocket::IPv6Protocol)
        Refuse("--mqtt: not an IPv6 address in brackets: " + aText);
    } else if (aText.count(':') > 1) {
      if (QHostAddress(aText).isNull()) Refuse("--mqtt: not an IPv6 address: " + aText);
      fOptions.MqttHost = aText;
      colon = -1;
    } else {
      fOptions.MqttHost = colon < 0 ? aText : aText.left(colon);
    }
    if (colon >= 0) {
      fOptions.MqttPort = static_cast<uint16_t>(Number(aText.mid(colon + 1), 65535, "MQTT port"));
      if (fOptions.MqttPort == 0) Refuse("MQTT port must be 1 to 65535");
    }
    if (fOptions.MqttHost.isEmpty()) Refuse("--mqtt needs a broker host");
  }

  void Command(const QStringList& aWords) {
    if (aWords.isEmpty()) Refuse("no command given");
    const QString name = aWords[0];
    const QStringList args = aWords.mid(1);
    const auto arity = [&](qsizetype aMin, qsizetype aMax) {
      if (args.size() < aMin || args.size() > aMax)
        Refuse(QString("wrong number of arguments for %1").arg(name));
    };
    if (name == "status") {
      fOptions.Command = TCliCommand::Status;
      arity(0, 0);
    } else if (name == "set") {
      fOptions.Command = TCliCommand::Set;
      arity(0, 0);
      if (!fOptions.Voltage && !fOptions.Current) Refuse("set needs --voltage or --current");
    } else if (name == "output" || name == "lock") {
      fOptions.Command = name == "output" ? TCliCommand::Output : TCliCommand::Lock;
      arity(1, 1);
      fOptions.On = OnOff(args[0], name);
    } else if (name == "preset") {
      fOptions.Command = TCliCommand::Preset;
      arity(1, 1);
      fOptions.Preset = static_cast<uint16_t>(Number(args[0], 19, "preset (0..19)"));
    } else if (name == "watch") {
      fOptions.Command = TCliCommand::Watch;
      arity(0, 0);
    } else if (name == "read") {
      fOptions.Command = TCliCommand::Read;
      arity(1, 2);
      fOptions.Address = static_cast<uint16_t>(Number(args[0], 65535, "register address"));
      if (args.size() == 2) {
        fOptions.RegisterCount =
            static_cast<uint16_t>(Number(args[1], kMaxReadCount, "register count (1..125)"));
        if (fOptions.RegisterCount == 0) Refuse("register count must be 1 to 125");
      }
      if (fOptions.Address + fOptions.RegisterCount > 65536) Refuse("registers beyond 65535");
    } else if (name == "write") {
      fOptions.Command = TCliCommand::Write;
      arity(2, 1 + kMaxWriteCount);
      fOptions.Address = static_cast<uint16_t>(Number(args[0], 65535, "register address"));
      for (const QString& v : args.mid(1))
        fOptions.Values.push_back(static_cast<uint16_t>(Number(v, 65535, "register value")));
      if (fOptions.Address + fOptions.Values.size() > 65536) Refuse("registers beyond 65535");
    } else if (name == "flash") {
      fOptions.Command = TCliCommand::Flash;
      arity(1, 1);
      fOptions.FileName = args[0];
    } else if (name == "serve") {
      fOptions.Command = TCliCommand::Serve;
      arity(0, 0);
    } else {
      Refuse("unknown command " + name);
    }
  }

  // Options of one command are refused on another, and the link must be given exactly once.
  void CheckOptionsFitCommand() {
    const bool port = !fOptions.Port.isEmpty();
    if (port == fOptions.UsesTcp()) Refuse("give either --port PATH or --tcp HOST[:PORT]");
    if (fOptions.UsesTcp() && fSeen.contains("--baud")) Refuse("--baud is for a serial port");
    const QSet<QString> own = [this]() -> QSet<QString> {
      switch (fOptions.Command) {
        case TCliCommand::Set: return {"--voltage", "--current"};
        case TCliCommand::Watch: return {"--interval", "--count", "--csv"};
        case TCliCommand::Flash: return {"--no-verify"};
        case TCliCommand::Serve:
          return {"--listen", "--idle-timeout", "--interval", "--mqtt", "--mqtt-prefix", "--mqtt-user",
                  "--mqtt-password-file", "--mqtt-tls", "--no-discovery", "--mqtt-cert",
                  "--mqtt-key", "--mqtt-name", "--mqtt-takeover", "--remove-discovery",
                  "--discovery-prefix", "--heartbeat"};
        default: return {};
      }
    }();
    for (const char* option :
         {"--voltage", "--current", "--interval", "--count", "--csv", "--no-verify", "--listen",
          "--idle-timeout",
          "--mqtt", "--mqtt-prefix", "--mqtt-user", "--mqtt-password-file", "--mqtt-tls",
          "--no-discovery", "--mqtt-cert", "--mqtt-key", "--mqtt-name", "--mqtt-takeover",
          "--remove-discovery", "--discovery-prefix", "--heartbeat"})
      if (fSeen.contains(option) && !own.contains(option))
        Refuse(QString(option) + " does not go with this command");
    if (fOptions.Command == TCliCommand::Serve) {
      const bool mqtt = !fOptions.MqttHost.isEmpty();
      fOptions.Scpi = !mqtt || fSeen.contains("--listen");
      for (const char* option :
           {"--mqtt-prefix", "--mqtt-user", "--mqtt-password-file", "--mqtt-tls",
            "--no-discovery", "--interval", "--mqtt-cert", "--mqtt-key", "--mqtt-name",
            "--mqtt-takeover", "--remove-discovery", "--discovery-prefix", "--heartbeat"})
        if (fSeen.contains(option) && !mqtt) Refuse(QString(option) + " needs --mqtt");
      if (fSeen.contains("--mqtt-password-file") && fOptions.MqttUser.isEmpty())
        Refuse("--mqtt-password-file needs --mqtt-user");
      if (fSeen.contains("--mqtt-cert") != fSeen.contains("--mqtt-key"))
        Refuse("--mqtt-cert and --mqtt-key go together");
      if (fSeen.contains("--mqtt-cert") && fOptions.MqttCaFile.isEmpty())
        Refuse("--mqtt-cert needs --mqtt-tls");
      if (fOptions.MqttRemoveDiscovery && fSeen.contains("--listen"))
        Refuse("--remove-discovery does not serve: it goes without --listen");
    }
    if (fOptions.Command == TCliCommand::Flash && fOptions.UsesTcp())
      Refuse("flash needs the serial port (--port): the bootloader is not reached over TCP");
  }

  const QStringList& fArgs;
  qsizetype fNext = 0;
  TCliOptions fOptions;
  QSet<QString> fSeen;
};

}  // namespace

TParsedCommandLine ParseCommandLine(const QStringList& aArgs) { return TParser(aArgs).Run(); }

QString UsageText() {
  return R"(usage: kelvora-cli [--port PATH | --tcp HOST[:PORT]] [--baud N] [--slave N] [--retries N]
                   [--json] COMMAND
  status                      model and firmware class, set and output values, power, CV/CC,
                              protection, input voltage, key lock, temperature, counters
  set [--voltage V] [--current A]
                              new set point in volts and amperes, within the model's limits
  output on|off               switch the output
  lock on|off                 lock or unlock the front-panel keys
  preset N                    make M0..M9 (0..9) or C0..C9 (10..19) active
  watch [--interval MS] [--count N] [--csv FILE]
                              one line per reading; the CSV file is appended to, with a header,
                              ISO 8601 times and "." decimals
  read ADDR [COUNT]           raw holding registers (decimal or 0x...)
  write ADDR VALUE...         raw holding registers (one value: function 6; more: function 16)
  flash FILE [--no-verify]    jump to the bootloader and write the image (serial port only)
  serve [--listen ADDR:PORT] [--idle-timeout S]
                              answer SCPI over TCP (default 127.0.0.1:5025) until SIGINT or
                              SIGTERM; a client silent for S seconds is closed (default 0:
                              never); keys locked from here are unlocked on the way out
  serve --mqtt HOST[:PORT] [--mqtt-prefix P] [--mqtt-name NAME] [--mqtt-takeover]
        [--mqtt-user NAME --mqtt-password-file FILE]
        [--mqtt-tls CAFILE [--mqtt-cert FILE --mqtt-key FILE]] [--interval MS]
        [--heartbeat S] [--no-discovery | --discovery-prefix P] [--listen ADDR:PORT]
                              publish readings to an MQTT broker and take commands from it
                              (beside SCPI when --listen is given too)
  serve --mqtt HOST[:PORT] [--mqtt-prefix P] [--discovery-prefix P] --remove-discovery
                              delete the bench's Home Assistant configurations and end
Defaults: --baud 9600, --slave 1, TCP port 502, --retries 2 (a request whose answer is lost or
garbled is sent up to three times; raw writes are sent once).
Exit status: 0 done, 1 the supply answered with an error or did not answer, 2 usage error.
)";
}
