// What a SCPI client sends, as the server takes it: bytes into a client's line buffer in pieces
// whose sizes the first byte chooses, each line parsed into message units, each header matched
// and each parameter read as a voltage, a current, a boolean, an integer and a limit word. The
// buffer must hold its bound and give back only lines within the line limit.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "cli/ScpiLineBuffer.h"
#include "cli/ScpiMessage.h"
#include "cli/ScpiPattern.h"
#include "cli/ScpiValues.h"

namespace {

void ReadParameter(const QString& aText) {
  const auto tryRead = [](auto aRead) {
    try {
      aRead();
    } catch (const TScpiRefusal&) {
    }
  };
  tryRead([&] { ScpiNumeric(aText, "V"); });
  tryRead([&] { ScpiNumeric(aText, "A"); });
  tryRead([&] { ScpiNumeric(aText, QString()); });
  tryRead([&] { ScpiBoolean(aText); });
  tryRead([&] { ScpiInteger(aText, 0, 255); });
  tryRead([&] { ScpiLimitWord(aText); });
}

void RunLine(const TScpiLineBuffer::TLine& aLine) {
  if (aLine.Text.size() > TScpiLineBuffer::kMaxLine || aLine.Text.contains('\n')) std::abort();
  if (aLine.Overrun && !aLine.Text.isEmpty()) std::abort();
  static const TScpiPattern kVoltage("[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]");
  static const TScpiPattern kQuestionable("STATus:QUEStionable[:EVENt]");
  const TScpiMessage message = ParseScpiMessage(aLine.Text);
  for (const TScpiUnit& unit : message.Units) {
    kVoltage.Matches(unit.Nodes);
    kQuestionable.Matches(unit.Nodes);
    for (const QString& p : unit.Parameters) ReadParameter(p);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const qsizetype piece = 1 + data[0] * 64;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  qsizetype left = static_cast<qsizetype>(size - 1);
  TScpiLineBuffer buffer;
  while (left > 0) {
    // As the server does: no more than the room, and lines are taken to make room.
    while (buffer.Room() == 0 && buffer.Lines() > 0) RunLine(buffer.TakeLine());
    if (buffer.Room() == 0) std::abort();  // full of nothing but a partial line
    const qsizetype n = std::min({piece, left, buffer.Room()});
    buffer.Append(bytes, n);
    bytes += n;
    left -= n;
  }
  while (buffer.Lines() > 0) RunLine(buffer.TakeLine());
  return 0;
}
