// The SCPI language on its own: message units and the header path rule, header patterns in
// short and long form, parameter data, and the error queue.

#include <gtest/gtest.h>

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
  EXPECT_EQ(s.StatusByte(false), 0x04 | 0x40);
  s.Clear();
  EXPECT_EQ(s.StatusByte(false), 0);
}
