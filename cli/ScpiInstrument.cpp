#include "cli/ScpiInstrument.h"

#include "cli/ScpiValues.h"
#include "cli/Units.h"
#include "core/ModelIdentity.h"
#include "core/UtilUnit.h"

namespace {

[[noreturn]] void Refuse(int aCode, const QString& aText) { throw TScpiRefusal{{aCode, aText}}; }

void NoParameters(const QStringList& aParameters) {
  if (!aParameters.isEmpty()) Refuse(-108, "Parameter not allowed");
}
const QString& OneParameter(const QStringList& aParameters) {
  if (aParameters.isEmpty()) Refuse(-109, "Missing parameter");
  if (aParameters.size() > 1) Refuse(-108, "Parameter not allowed");
  return aParameters[0];
}
std::optional<TScpiLimit> OptionalLimit(const QStringList& aParameters) {
  if (aParameters.isEmpty()) return std::nullopt;
  return ScpiLimitWord(OneParameter(aParameters));
}

// A settable quantity in register units: its range, and the text and unit of its values.
struct TQuantity {
  uint32_t Min, Max, Default;
  QString Unit;  // "V" or "A"
  QString (*Text)(uint32_t);
  std::optional<uint32_t> (*Units)(double);

  uint32_t Limit(TScpiLimit aLimit) const {
    switch (aLimit) {
      case TScpiLimit::Minimum: return Min;
      case TScpiLimit::Maximum: return Max;
      case TScpiLimit::Default: return Default;
    }
    return Default;
  }
  // Register units of a parameter; -222 beyond the range, before anything is written.
  uint32_t Parse(const QString& aText) const {
    const TScpiNumeric value = ScpiNumeric(aText, Unit);
    if (const auto* limit = std::get_if<TScpiLimit>(&value)) return Limit(*limit);
    const std::optional<uint32_t> units = Units(std::get<double>(value));
    if (!units || *units < Min || *units > Max) Refuse(-222, "Data out of range");
    return *units;
  }
};

// The model's limits as identification set them.
TQuantity SetVoltage() {
  return {0, static_cast<uint32_t>(ModelUmax), 0, "V", VoltsText, VoltageUnits};
}
TQuantity SetCurrent() {
  return {0, static_cast<uint32_t>(ModelImax), 0, "A", AmpsText, CurrentUnits};
}
TQuantity OverVoltage() {
  const auto max = static_cast<uint32_t>(ModelUmax);
  return {10, max, max, "V", VoltsText, VoltageUnits};
}
TQuantity OverCurrent() {
  const auto max = static_cast<uint32_t>(ModelImax + 10 * CurrentDivider);
  return {1, max, max, "A", AmpsText, CurrentUnits};
}

// STATus:QUEStionable bits of a protection code: voltage, current, power, temperature, and
// bit 9 for the supply's other protections.
uint16_t QuestionableBits(uint32_t aProtect) {
  switch (aProtect) {
    case 0: return 0;
    case 1: return 0x0001;
    case 2: return 0x0002;
    case 3: return 0x0008;
    case 4:
    case 5: return 0x0010;
    default: return 0x0200;
  }
}

// STATus:OPERation bits of the output's mode: CV bit 8 and CC bit 10, while the output is on.
uint16_t OperationBits(const TCurrentSet& aData) {
  if (!aData.ONOFF) return 0;
  return aData.CVCC ? 0x0400 : 0x0100;
}

uint8_t ByteParameter(const QStringList& aParameters) {
  return static_cast<uint8_t>(ScpiInteger(OneParameter(aParameters), 0, 255));
}

QString ReadingText(const TSupplyReading& r) {
  return QString("%1,%2,%3").arg(VoltsText(r.Voltage), AmpsText(r.Current), WattsText(r.Power));
}

}  // namespace

TScpiInstrument::TScpiInstrument(TServedSupply& aSupply) : fSupply(aSupply) {
  AddCommon();
  AddSource();
  AddMeasure();
  AddStatus();
  AddSystem();
  fSupply.SetOnStatusRead([this](const TCurrentSet& aData) { Observe(aData); });
}

void TScpiInstrument::Observe(const TCurrentSet& aData) {
  for (TScpiSession* session : fSessions) {
    session->Questionable().Observe(QuestionableBits(aData.PROTECT));
    session->Operation().Observe(OperationBits(aData));
  }
}

void TScpiInstrument::RefreshStatus() { fSupply.ReadStatus(); }

void TScpiInstrument::Add(const QString& aHeader, bool aQuery, THandler aRun) {
  const bool common = aHeader.startsWith('*');
  fCommands.push_back({common, TScpiPattern(common ? aHeader.mid(1) : aHeader), aQuery,
                       std::move(aRun)});
}

void TScpiInstrument::AddCommon() {
  Add("*IDN", true, [this](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    const TSupply& s = fSupply.Identified();
    return QString("ARDENTIX,KPX%1,0,%2").arg(s.Data.MODEL).arg(VersionText(s.Data.VERSION));
  });
  Add("*RST", false, [this](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    fSupply.WriteOutput(false);
    return QString();
  });
  Add("*CLS", false, [](TScpiSession& s, const QStringList& p) {
    NoParameters(p);
    s.Clear();
    return QString();
  });
  Add("*OPC", true, [](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    return QString("1");
  });
  Add("*OPC", false, [](TScpiSession& s, const QStringList& p) {
    NoParameters(p);
    s.SetOperationComplete();
    return QString();
  });
  Add("*WAI", false, [](TScpiSession&, const QStringList& p) {
    NoParameters(p);  // commands already run one after the other
    return QString();
  });
  Add("*ESR", true, [](TScpiSession& s, const QStringList& p) {
    NoParameters(p);
    return QString::number(s.TakeEventStatus());
  });
  Add("*ESE", true, [](TScpiSession& s, const QStringList& p) {
    NoParameters(p);
    return QString::number(s.EventStatusEnable());
  });
  Add("*ESE", false, [](TScpiSession& s, const QStringList& p) {
    s.SetEventStatusEnable(ByteParameter(p));
    return QString();
  });
  Add("*SRE", true, [](TScpiSession& s, const QStringList& p) {
    NoParameters(p);
    return QString::number(s.ServiceRequestEnable());
  });
  Add("*SRE", false, [](TScpiSession& s, const QStringList& p) {
    s.SetServiceRequestEnable(ByteParameter(p));
    return QString();
  });
  Add("*STB", true, [this](TScpiSession& s, const QStringList& p) {
    NoParameters(p);
    // A poller gets its status byte also when the supply does not answer: the failure is in
    // the error queue, and EAV says so.
    try {
      RefreshStatus();
    } catch (const TSupplyFailure& failure) {
      s.Raise({-240, "Hardware error;" + failure.Why});
    }
    return QString::number(s.StatusByte());
  });
  Add("*SAV", false, [this](TScpiSession&, const QStringList& p) {
    const auto preset = static_cast<uint16_t>(ScpiInteger(OneParameter(p), 0, 9));
    fSupply.Identified();
    fSupply.SavePreset(preset);
    return QString();
  });
  Add("*RCL", false, [this](TScpiSession&, const QStringList& p) {
    const auto preset = static_cast<uint16_t>(ScpiInteger(OneParameter(p), 0, 9));
    fSupply.RecallPreset(preset);
    return QString();
  });
  Add("*TST", true, [this](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    return QString(fSupply.Answers() ? "0" : "1");
  });
}

void TScpiInstrument::AddSource() {
  struct TSetting {
    QString Header;
    TQuantity (*Quantity)();
    bool Voltage;
  };
  for (const TSetting& setting :
       {TSetting{"[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]", SetVoltage, true},
        TSetting{"[SOURce:]CURRent[:LEVel][:IMMediate][:AMPLitude]", SetCurrent, false}}) {
    Add(setting.Header, false, [this, setting](TScpiSession&, const QStringList& p) {
      fSupply.Identified();
      const uint32_t units = setting.Quantity().Parse(OneParameter(p));
      if (setting.Voltage)
        fSupply.WriteSetPoint(units, std::nullopt);
      else
        fSupply.WriteSetPoint(std::nullopt, units);
      return QString();
    });
    Add(setting.Header, true, [this, setting](TScpiSession&, const QStringList& p) {
      fSupply.Identified();
      const TQuantity q = setting.Quantity();
      if (const auto limit = OptionalLimit(p)) return q.Text(q.Limit(*limit));
      return q.Text(setting.Voltage ? fSupply.SetVoltage() : fSupply.SetCurrent());
    });
  }
  for (const TSetting& setting :
       {TSetting{"[SOURce:]VOLTage:PROTection[:LEVel]", OverVoltage, true},
        TSetting{"[SOURce:]CURRent:PROTection[:LEVel]", OverCurrent, false}}) {
    Add(setting.Header, false, [this, setting](TScpiSession&, const QStringList& p) {
      fSupply.Identified();
      const uint32_t units = setting.Quantity().Parse(OneParameter(p));
      if (setting.Voltage)
        fSupply.WriteProtectionLimits(units, std::nullopt);
      else
        fSupply.WriteProtectionLimits(std::nullopt, units);
      return QString();
    });
    Add(setting.Header, true, [this, setting](TScpiSession&, const QStringList& p) {
      fSupply.Identified();
      const TQuantity q = setting.Quantity();
      if (const auto limit = OptionalLimit(p)) return q.Text(q.Limit(*limit));
      const TProtectionLimits limits = fSupply.ProtectionLimits();
      return q.Text(setting.Voltage ? limits.Voltage : limits.Current);
    });
  }
  Add("OUTPut[:STATe]", false, [this](TScpiSession&, const QStringList& p) {
    fSupply.WriteOutput(ScpiBoolean(OneParameter(p)));
    return QString();
  });
  Add("OUTPut[:STATe]", true, [this](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    return QString(fSupply.Output() ? "1" : "0");
  });
  // The supply's protocol has no clear command: a tripped protection is cleared by switching
  // the output on again, which the supply does only once the cause is gone.
  Add("OUTPut:PROTection:CLEar", false, [this](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    if (fSupply.ReadStatus().PROTECT == 0) return QString();
    fSupply.WriteOutput(false);
    fSupply.WriteOutput(true);
    return QString();
  });
}

void TScpiInstrument::AddMeasure() {
  // Each reads only the registers it shows.
  Add("MEASure[:SCALar]:VOLTage[:DC]", true, [this](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    return VoltsText(fSupply.MeasureVoltage());
  });
  Add("MEASure[:SCALar]:CURRent[:DC]", true, [this](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    return AmpsText(fSupply.MeasureCurrent());
  });
  Add("MEASure[:SCALar]:POWer[:DC]", true, [this](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    return WattsText(fSupply.MeasurePower());
  });
  const auto reading = [this](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    return ReadingText(fSupply.Measure());
  };
  Add("MEASure[:SCALar]", true, reading);
  Add("READ", true, reading);
  Add("FETCh", true, [this](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    return ReadingText(fSupply.LastReading());
  });
}

void TScpiInstrument::AddStatus() {
  using TRegisterOf = TScpiStatusRegister& (TScpiSession::*)();
  for (const auto& [name, registerOf] :
       {std::pair<QString, TRegisterOf>{"STATus:QUEStionable", &TScpiSession::Questionable},
        std::pair<QString, TRegisterOf>{"STATus:OPERation", &TScpiSession::Operation}}) {
    const TRegisterOf of = registerOf;
    Add(name + "[:EVENt]", true, [this, of](TScpiSession& s, const QStringList& p) {
      NoParameters(p);
      RefreshStatus();
      return QString::number((s.*of)().TakeEvent());
    });
    Add(name + ":CONDition", true, [this, of](TScpiSession& s, const QStringList& p) {
      NoParameters(p);
      RefreshStatus();
      return QString::number((s.*of)().Condition);
    });
    Add(name + ":ENABle", true, [of](TScpiSession& s, const QStringList& p) {
      NoParameters(p);
      return QString::number((s.*of)().Enable);
    });
    Add(name + ":ENABle", false, [of](TScpiSession& s, const QStringList& p) {
      (s.*of)().Enable = static_cast<uint16_t>(ScpiInteger(OneParameter(p), 0, 32767));
      return QString();
    });
  }
  Add("STATus:PRESet", false, [](TScpiSession& s, const QStringList& p) {
    NoParameters(p);
    s.PresetStatus();
    return QString();
  });
}

void TScpiInstrument::AddSystem() {
  Add("SYSTem:ERRor[:NEXT]", true, [](TScpiSession& s, const QStringList& p) {
    NoParameters(p);
    return s.NextError();
  });
  Add("SYSTem:ERRor:COUNt", true, [](TScpiSession& s, const QStringList& p) {
    NoParameters(p);
    return QString::number(s.ErrorCount());
  });
  Add("SYSTem:ERRor:ALL", true, [](TScpiSession& s, const QStringList& p) {
    NoParameters(p);
    QStringList all{s.NextError()};
    while (s.ErrorCount() > 0) all << s.NextError();
    return all.join(',');
  });
  Add("SYSTem:VERSion", true, [](TScpiSession&, const QStringList& p) {
    NoParameters(p);
    return QString("1999.0");
  });
  const auto keyLock = [this](bool aLocked) {
    return [this, aLocked](TScpiSession&, const QStringList& p) {
      NoParameters(p);
      fSupply.WriteKeyLock(aLocked);
      return QString();
    };
  };
  Add("SYSTem:LOCal", false, keyLock(false));
  Add("SYSTem:REMote", false, keyLock(true));
  Add("SYSTem:RWLock", false, keyLock(true));
}

const TScpiInstrument::TCommand* TScpiInstrument::Find(const TScpiUnit& aUnit) const {
  for (const TCommand& c : fCommands)
    if (c.Common == aUnit.Common && c.Query == aUnit.Query && c.Header.Matches(aUnit.Nodes))
      return &c;
  return nullptr;
}

std::optional<QString> TScpiInstrument::Execute(TScpiSession& aSession, const QByteArray& aLine) {
  const TScpiMessage message = ParseScpiMessage(aLine);
  QStringList answers;
  const auto answer = [&]() -> std::optional<QString> {
    if (answers.isEmpty()) return std::nullopt;
    return answers.join(';');
  };
  for (const TScpiUnit& unit : message.Units) {
    const TCommand* command = Find(unit);
    if (!command) {
      aSession.Raise({-113, "Undefined header"});
      return answer();
    }
    try {
      const QString text = command->Run(aSession, unit.Parameters);
      if (unit.Query) {
        answers << text;
        aSession.SetAnswerWaiting(true);
      }
    } catch (const TScpiRefusal& refusal) {
      aSession.Raise(refusal.Error);
      return answer();
    } catch (const TSupplyFailure& failure) {
      aSession.Raise({-240, "Hardware error;" + failure.Why});
      return answer();
    }
  }
  if (message.Error) aSession.Raise(*message.Error);
  return answer();
}
