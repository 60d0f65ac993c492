#include "sim/Faults.h"

#include <array>
#include <charconv>

namespace kpxsim {

namespace {
struct KindName {
  std::string_view Name;
  FaultKind Kind;
  bool TakesValue;
};

constexpr std::array<KindName, 10> kKinds{{
    {"drop-every", FaultKind::DropEvery, true},
    {"corrupt-every", FaultKind::CorruptEvery, true},
    {"delay-ms", FaultKind::DelayMs, true},
    {"unlock", FaultKind::Unlock, false},
    {"vanish", FaultKind::Vanish, false},
    {"protect", FaultKind::Protect, true},
    {"nack-block", FaultKind::NackBlock, true},
    {"nack-once", FaultKind::NackOnce, true},
    {"loss", FaultKind::Loss, true},
    {"idle-close-ms", FaultKind::IdleCloseMs, true},
}};

bool ParseUnsigned(std::string_view text, uint32_t& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

// "P%" or "P%,seed=N": a share of the answers, lost at random in the same way for the same seed.
bool ParseLoss(std::string_view text, FaultSpec& rule) {
  std::string_view percent = text;
  if (const auto comma = text.find(','); comma != std::string_view::npos) {
    percent = text.substr(0, comma);
    const std::string_view seed = text.substr(comma + 1);
    if (seed.substr(0, 5) != "seed=" || !ParseUnsigned(seed.substr(5), rule.Seed)) return false;
  }
  if (percent.empty() || percent.back() != '%') return false;
  return ParseUnsigned(percent.substr(0, percent.size() - 1), rule.Value) && rule.Value <= 100;
}
}  // namespace

std::optional<FaultSpec> ParseFault(std::string_view text, std::string* error) {
  const auto fail = [&](const std::string& why) -> std::optional<FaultSpec> {
    if (error) *error = "bad fault '" + std::string(text) + "': " + why;
    return std::nullopt;
  };
  std::string_view head = text, window;
  if (const auto at = text.find('@'); at != std::string_view::npos) {
    head = text.substr(0, at);
    window = text.substr(at + 1);
  }
  std::string_view name = head, value;
  const auto eq = head.find('=');
  if (eq != std::string_view::npos) {
    name = head.substr(0, eq);
    value = head.substr(eq + 1);
  }
  FaultSpec rule{};
  bool known = false;
  for (const KindName& k : kKinds) {
    if (k.Name != name) continue;
    known = true;
    rule.Kind = k.Kind;
    if (k.TakesValue != (eq != std::string_view::npos)) return fail(k.TakesValue ? "needs =N" : "takes no value");
    if (k.Kind == FaultKind::Loss) {
      if (!ParseLoss(value, rule)) return fail("needs =P% (0 to 100), optionally ,seed=N");
    } else if (k.TakesValue && !ParseUnsigned(value, rule.Value)) {
      return fail("not a number");
    }
  }
  if (!known) return fail("unknown fault");
  if ((rule.Kind == FaultKind::DropEvery || rule.Kind == FaultKind::CorruptEvery ||
       rule.Kind == FaultKind::IdleCloseMs) && rule.Value == 0)
    return fail("N must be at least 1");
  if (rule.Kind == FaultKind::Protect && rule.Value > 0xFFFF) return fail("a code is one register");
  if (!window.empty()) {
    const auto dash = window.find('-');
    uint32_t from = 0, to = 0;
    if (!ParseUnsigned(window.substr(0, dash), from)) return fail("bad window start");
    rule.FromMs = from;
    if (dash != std::string_view::npos) {
      if (!ParseUnsigned(window.substr(dash + 1), to) || to <= from) return fail("bad window end");
      rule.ToMs = to;
    }
  } else if (text.find('@') != std::string_view::npos) {
    return fail("empty window");
  }
  return rule;
}

FaultPlan::FaultPlan(std::vector<FaultSpec> rules, bool clockOnSignal) {
  for (FaultSpec& s : rules) entries_.push_back({s, 0, false, std::minstd_rand(s.Seed + 1)});
  if (!clockOnSignal) origin_ = 0.0;
}

void FaultPlan::StartClock(double nowMs) {
  if (!origin_) origin_ = nowMs;
}

bool FaultPlan::Counted(FaultKind kind, double nowMs) {
  bool hit = false;
  for (Entry& e : entries_) {
    if (e.Rule.Kind != kind || !Active(e.Rule, nowMs)) continue;
    if (++e.Count % e.Rule.Value == 0) hit = true;
  }
  return hit;
}

bool FaultPlan::DropAnswer(double nowMs) {
  bool lost = Counted(FaultKind::DropEvery, nowMs);
  for (Entry& e : entries_)
    if (e.Rule.Kind == FaultKind::Loss && Active(e.Rule, nowMs) &&
        std::uniform_int_distribution<uint32_t>(0, 99)(e.Chance) < e.Rule.Value)
      lost = true;
  return lost;
}

bool FaultPlan::CorruptAnswer(double nowMs) { return Counted(FaultKind::CorruptEvery, nowMs); }

double FaultPlan::AnswerDelayMs(double nowMs) const {
  double delay = 0;
  for (const Entry& e : entries_)
    if (e.Rule.Kind == FaultKind::DelayMs && Active(e.Rule, nowMs)) delay += e.Rule.Value;
  return delay;
}

double FaultPlan::IdleCloseMs(double nowMs) const {
  for (const Entry& e : entries_)
    if (e.Rule.Kind == FaultKind::IdleCloseMs && Active(e.Rule, nowMs)) return e.Rule.Value;
  return 0;
}

bool FaultPlan::NackBlock(uint32_t block, double nowMs) {
  bool refused = false;
  for (Entry& e : entries_) {
    if (e.Rule.Value != block || !Active(e.Rule, nowMs)) continue;
    if (e.Rule.Kind == FaultKind::NackBlock) refused = true;
    if (e.Rule.Kind == FaultKind::NackOnce && e.Count++ == 0) refused = true;
  }
  return refused;
}

std::vector<FaultEdge> FaultPlan::Step(double nowMs) {
  std::vector<FaultEdge> edges;
  for (Entry& e : entries_) {
    const bool active = Active(e.Rule, nowMs);
    if (active != e.Active)
      edges.push_back({e.Rule.Kind, e.Rule.Value, active, e.Rule.ToMs.has_value()});
    e.Active = active;
  }
  return edges;
}

}  // namespace kpxsim
