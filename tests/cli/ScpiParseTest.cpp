// The SCPI language on its own: message units and the header path rule, header patterns in
// short and long form, parameter data, the error queue and status registers, and the bounded
// input of one client.

#include <gtest/gtest.h>

#include "cli/ScpiLineBuffer.h"
#include "cli/ScpiMessage.h"
#include "cli/ScpiPattern.h"
#include "cli/ScpiSession.h"
#include "cli/ScpiValues.h"

namespace {

int RefusalCode(const std::function<void()>& aParse) {
  try {
    aParse();
  } catch (const TScpiRefusal& r) {
    return r.Error.Code;
  }
  return 0;
}

}  // namespace

TEST(ScpiMessage, UnitsFollowTheSubsystemOfTheUnitBefore) {
  const TScpiMessage m = ParseScpiMessage("SOUR:VOLT 5.5;CURR 1.2;*OPC;:OUTP ON;MEAS:VOLT?;CURR?");
  ASSERT_FALSE(m.Error);
  ASSERT_EQ(m.Units.size(), 6u);
  EXPECT_EQ(m.Units[1].Nodes, (QStringList{"SOUR", "CURR"}));
  EXPECT_EQ(m.Units[1].Parameters, QStringList{"1.2"});
  EXPECT_TRUE(m.Units[2].Common);
  EXPECT_EQ(m.Units[3].Nodes, QStringList{"OUTP"});  // ':' starts again at the root
  EXPECT_EQ(m.Units[5].Nodes, (QStringList{"MEAS", "CURR"}));
  EXPECT_TRUE(m.Units[5].Query);
}

TEST(ScpiMessage, MalformedUnitsEndTheMessageWithTheirError) {
  const TScpiMessage bad = ParseScpiMessage("OUTP ON;VOLT#5;CURR 1");
  EXPECT_EQ(bad.Units.size(), 1u);  // what came before still runs
  ASSERT_TRUE(bad.Error);
  EXPECT_EQ(bad.Error->Code, -102);
  EXPECT_EQ(ParseScpiMessage("VOLT 1,,2").Error->Code, -102);
  EXPECT_EQ(ParseScpiMessage("*").Error->Code, -102);
  EXPECT_EQ(ParseScpiMessage(QByteArray("VOLT\x00\xff", 6)).Error->Code, -101);
  EXPECT_EQ(ParseScpiMessage("SYST:ERR? \"open").Error->Code, -150);
  const TScpiMessage empty = ParseScpiMessage("   ");
  EXPECT_TRUE(empty.Units.empty());
  EXPECT_FALSE(empty.Error);
  // One ';' may end the line; two make an empty unit.
  const TScpiMessage trailing = ParseScpiMessage("VOLT 1;");
  EXPECT_FALSE(trailing.Error);
  EXPECT_EQ(trailing.Units.size(), 1u);
  EXPECT_EQ(ParseScpiMessage("VOLT 1;;").Error->Code, -102);
  EXPECT_EQ(ParseScpiMessage(";").Error->Code, -102);
}

TEST(ScpiPattern, ShortAndLongFormsAndOptionalNodes) {
  const TScpiPattern volt("[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]");
  for (const QStringList& h : {QStringList{"VOLT"}, QStringList{"voltage"}, {"SOUR", "VOLT"},
                               {"source", "Volt", "lev", "IMM", "AMPL"}, {"VOLT", "AMPLITUDE"}})
    EXPECT_TRUE(volt.Matches(h)) << h.join(':').toStdString();
  for (const QStringList& h : {QStringList{"VOL"}, QStringList{"VOLTA"}, {"SOUR"},
                               {"VOLT", "AMPL", "LEV"}, {"VOLT", "PROT"}})
    EXPECT_FALSE(volt.Matches(h)) << h.join(':').toStdString();
  const TScpiPattern dc("MEASure[:SCALar]:VOLTage[:DC]");
  EXPECT_TRUE(dc.Matches({"MEAS", "VOLT", "DC"}));
  EXPECT_TRUE(dc.Matches({"meas", "scal", "volt"}));
}

TEST(ScpiValues, NumbersUnitsWordsAndBooleans) {
  EXPECT_DOUBLE_EQ(std::get<double>(ScpiNumeric("12.5", "V")), 12.5);
  EXPECT_DOUBLE_EQ(std::get<double>(ScpiNumeric("500 mV", "V")), 0.5);
  EXPECT_DOUBLE_EQ(std::get<double>(ScpiNumeric("1.2E-1A", "A")), 0.12);
  EXPECT_DOUBLE_EQ(std::get<double>(ScpiNumeric("+.5", "A")), 0.5);
  EXPECT_EQ(std::get<TScpiLimit>(ScpiNumeric("maximum", "V")), TScpiLimit::Maximum);
  EXPECT_EQ(std::get<TScpiLimit>(ScpiNumeric("MIN", "V")), TScpiLimit::Minimum);
  EXPECT_EQ(RefusalCode([] { ScpiNumeric("five", "V"); }), -104);
  EXPECT_EQ(RefusalCode([] { ScpiNumeric("5 A", "V"); }), -131);
  EXPECT_EQ(RefusalCode([] { ScpiNumeric("1e400", "V"); }), -222);
  EXPECT_TRUE(ScpiBoolean("on"));
  EXPECT_FALSE(ScpiBoolean("0"));
  EXPECT_EQ(RefusalCode([] { ScpiBoolean("maybe"); }), -224);
}

TEST(ScpiValues, SuffixesReadAsIeee4882ReadsThem) {
  // M before the unit is milli, also in MA; MA is mega only as a multiplier before a unit.
  EXPECT_DOUBLE_EQ(std::get<double>(ScpiNumeric("250MA", "A")), 0.25);
  EXPECT_DOUBLE_EQ(std::get<double>(ScpiNumeric("250 ma", "A")), 0.25);
  EXPECT_DOUBLE_EQ(std::get<double>(ScpiNumeric("1200MV", "V")), 1.2);
  EXPECT_DOUBLE_EQ(std::get<double>(ScpiNumeric("1MAV", "V")), 1e6);
  EXPECT_DOUBLE_EQ(std::get<double>(ScpiNumeric("0.002kV", "V")), 2.0);
  EXPECT_DOUBLE_EQ(std::get<double>(ScpiNumeric("500uA", "A")), 500e-6);
  for (const char* bad : {"5 mX", "5 QV", "5 m", "5 kA"})
    EXPECT_EQ(RefusalCode([bad] { ScpiNumeric(bad, "V"); }), -131) << bad;
  EXPECT_EQ(RefusalCode([] { ScpiNumeric("5 mV", QString()); }), -131);
  EXPECT_EQ(RefusalCode([] { ScpiNumeric("nan", "V"); }), -104);
}

TEST(ScpiValues, BooleansTakeOnlyWhatRoundsToOneOrZero) {
  EXPECT_TRUE(ScpiBoolean("1"));
  EXPECT_TRUE(ScpiBoolean("0.6"));
  EXPECT_FALSE(ScpiBoolean("0.4"));
  EXPECT_FALSE(ScpiBoolean("-0.2"));
  EXPECT_TRUE(ScpiBoolean("1E0"));
  for (const char* bad : {"nan", "NaN", "inf", "-inf", "infinity", "2", "-1", "1.5", "1e400",
                          "1 V", "ONE", ""})
    EXPECT_EQ(RefusalCode([bad] { ScpiBoolean(bad); }), -224) << bad;
}

TEST(ScpiValues, IntegersAreRoundedThenChecked) {
  EXPECT_EQ(ScpiInteger("1.5", 0, 255), 2);
  EXPECT_EQ(ScpiInteger("255.4", 0, 255), 255);
  EXPECT_EQ(RefusalCode([] { ScpiInteger("255.5", 0, 255); }), -222);
  EXPECT_EQ(RefusalCode([] { ScpiInteger("-1", 0, 255); }), -222);
  EXPECT_EQ(RefusalCode([] { ScpiInteger("MAX", 0, 255); }), -104);
}

TEST(ScpiSession, TheQueueKeepsItsOldestErrorsAndEndsInOverflow) {
  TScpiSession s;
  EXPECT_EQ(s.NextError(), "0,\"No error\"");
  for (int i = 0; i < 20; ++i) s.Raise({-222, "Data out of range"});
  s.Raise({-113, "Undefined header"});
  EXPECT_EQ(s.TakeEventStatus(), 0x10 | 0x20 | 0x08);  // execution, command, device
  for (size_t i = 0; i + 1 < TScpiSession::kQueueSize; ++i)
    EXPECT_EQ(s.NextError(), "-222,\"Data out of range\"");
  EXPECT_EQ(s.NextError(), "-350,\"Queue overflow\"");
  EXPECT_EQ(s.NextError(), "0,\"No error\"");
  s.Raise({-102, "Syntax error"});
  EXPECT_EQ(s.StatusByte(), TScpiSession::kErrorAvailable);
  s.SetServiceRequestEnable(0xFF);  // bit 6 is never enabled
  EXPECT_EQ(s.ServiceRequestEnable(), 0xBF);
  EXPECT_EQ(s.StatusByte(), TScpiSession::kErrorAvailable | TScpiSession::kMasterSummary);
  s.Clear();
  EXPECT_EQ(s.StatusByte(), 0);
  s.SetAnswerWaiting(true);
  EXPECT_EQ(s.StatusByte(), TScpiSession::kMessageAvailable | TScpiSession::kMasterSummary);
}

TEST(ScpiSession, ATripThatClearsBeforeTheReadIsSeenOnce) {
  TScpiSession s;
  s.Questionable().Observe(0x0002);
  s.Questionable().Observe(0);
  EXPECT_EQ(s.StatusByte(), TScpiSession::kQuestionable);
  EXPECT_EQ(s.Questionable().Condition, 0);
  EXPECT_EQ(s.Questionable().TakeEvent(), 0x0002);
  EXPECT_EQ(s.StatusByte(), 0);
  // A trip that stands is an event once, not at every reading.
  s.Questionable().Observe(0x0001);
  s.Questionable().TakeEvent();
  s.Questionable().Observe(0x0001);
  EXPECT_EQ(s.Questionable().Event, 0);
  // The operation summary needs its enable; STATus:PRESet clears both enables.
  s.Operation().Observe(0x0100);
  EXPECT_EQ(s.StatusByte(), 0);
  s.Operation().Enable = 0x0100;
  EXPECT_EQ(s.StatusByte(), TScpiSession::kOperation);
  s.PresetStatus();
  s.Questionable().Observe(0);
  s.Questionable().Observe(0x0008);
  EXPECT_EQ(s.StatusByte(), 0);
}

TEST(ScpiLineBuffer, LinesComeOutWholeInOrderAndOverlongOnesTakeOnePlace) {
  TScpiLineBuffer b;
  const QByteArray in = "VOLT 1\r\nOUTP O";
  b.Append(in.constData(), in.size());
  EXPECT_EQ(b.Lines(), 1u);
  EXPECT_TRUE(b.HasPartial());
  b.Append("N\n", 2);
  EXPECT_EQ(b.TakeLine().Text, "VOLT 1");
  EXPECT_EQ(b.TakeLine().Text, "OUTP ON");
  EXPECT_FALSE(b.HasPartial());
  // The limit counts the line without its CR LF.
  const QByteArray longest(TScpiLineBuffer::kMaxLine, 'A');
  const QByteArray over = longest + "A\n";
  const QByteArray fits = longest + "\r\n";
  b.Append(fits.constData(), fits.size());
  b.Append(over.constData(), over.size());
  b.Append(over.constData(), 100);  // over-long before its LF comes
  b.Append(over.constData(), over.size());
  b.Append("\0?\n", 3);            // a client's NUL is no overrun mark
  ASSERT_EQ(b.Lines(), 4u);
  EXPECT_EQ(b.TakeLine().Text, longest);
  EXPECT_TRUE(b.TakeLine().Overrun);
  EXPECT_TRUE(b.TakeLine().Overrun);
  const TScpiLineBuffer::TLine nul = b.TakeLine();
  EXPECT_FALSE(nul.Overrun);
  EXPECT_EQ(ParseScpiMessage(nul.Text).Error->Code, -101);
}

TEST(ScpiLineBuffer, IsFullAtItsCapacityAndFreesRoomAsLinesAreTaken) {
  TScpiLineBuffer b;
  const QByteArray line = "MEAS:VOLT?\n";
  while (b.Room() >= line.size()) b.Append(line.constData(), line.size());
  EXPECT_LT(b.Room(), line.size());
  const size_t lines = b.Lines();
  EXPECT_EQ(lines, static_cast<size_t>(TScpiLineBuffer::kCapacity / line.size()));
  for (size_t i = 0; i < lines; ++i) EXPECT_EQ(b.TakeLine().Text, "MEAS:VOLT?");
  EXPECT_EQ(b.Room(), TScpiLineBuffer::kCapacity);
}
