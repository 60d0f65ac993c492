#pragma once
// The command line of kelvora-cli: where the supply is, how to print, and one command with its
// arguments. Parsing only checks the form; values that depend on the model are checked once the
// supply has been identified.

#include "cli/RetryPolicy.h"
#include "modbus/KRTypes.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

enum class TCliCommand { Status, Set, Output, Lock, Preset, Watch, Read, Write, Flash, Serve };

struct TCliOptions {
  // Link: a serial device, or a Modbus TCP server.
  QString Port;
  QString TcpHost;
  uint16_t TcpPort = 502;
  int32_t Baud = 9600;
  uint8_t Slave = 1;
  bool Json = false;
  TRetryPolicy Retry;

  TCliCommand Command = TCliCommand::Status;
  // set: volts and amperes as given, in "." decimals.
  std::optional<double> Voltage;
  std::optional<double> Current;
  // output, lock
  bool On = false;
  // preset: 0..9 are M0..M9, 10..19 C0..C9
  uint16_t Preset = 0;
  // watch
  int32_t IntervalMs = 1000;
  std::optional<int64_t> Count;
  QString CsvFile;
  // read, write
  uint16_t Address = 0;
  uint16_t RegisterCount = 1;
  TKRRegisters Values;
  // flash
  QString FileName;
  bool Verify = true;
  // serve: where SCPI clients connect; only the loopback address unless asked for another.
  QString ListenHost = "127.0.0.1";
  uint16_t ListenPort = 5025;
  bool Scpi = true;  // false when only --mqtt is given
  int32_t IdleTimeoutS = 0;  // a silent SCPI client is closed after this; 0 never
  // serve --mqtt: the broker, and how the supply appears there.
  QString MqttHost;
  std::optional<uint16_t> MqttPort;  // 1883, or 8883 with TLS
  QString MqttPrefix;                // kelvora/KPX<model>-<slave> when empty
  QString MqttUser;
  QString MqttPasswordFile;
  QString MqttCaFile;
  QString MqttCertFile, MqttKeyFile;  // the client's own certificate, with TLS
  QString MqttName;                   // the prefix's last level when empty
  bool MqttTakeover = false;          // serve a prefix another bridge seems to serve
  bool MqttDiscovery = true;
  bool MqttRemoveDiscovery = false;   // only delete the bench's discovery configurations
  QString DiscoveryPrefix = "homeassistant";
  int32_t HeartbeatS = 60;            // an unchanged state is published again after this

  bool UsesTcp() const { return !TcpHost.isEmpty(); }
};

struct TParsedCommandLine {
  std::optional<TCliOptions> Options;  // empty for --help and for errors
  bool Help = false;
  QString Error;  // why the command line was refused
};

// The arguments after the program name.
TParsedCommandLine ParseCommandLine(const QStringList& aArgs);

QString UsageText();
