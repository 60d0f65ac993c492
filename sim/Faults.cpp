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

constexpr std::array<KindName, 9> kKinds{{
    {"drop-every", FaultKind::DropEvery, true},
    {"corrupt-every", FaultKind::CorruptEvery, true},
    {"delay-ms", FaultKind::DelayMs, true},
    {"unlock", FaultKind::Unlock, false},
    {"vanish", FaultKind::Vanish, false},
    {"protect", FaultKind::Protect, true},
    {"nack-block", FaultKind::NackBlock, true},
    {"cut-mid-frame", FaultKind::CutMidFrame, false},
    {"power-cycle", FaultKind::PowerCycle, false},
}};

bool AtOneMoment(FaultKind kind) { return kind == FaultKind::CutMidFrame || kind == FaultKind::PowerCycle; }

bool ParseUnsigned(std::string_view text, uint32_t& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
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
    if (k.TakesValue && !ParseUnsigned(value, rule.Value)) return fail("not a number");
  }
  if (!known) return fail("unknown fault");
  if ((rule.Kind == FaultKind::DropEvery || rule.Kind == FaultKind::CorruptEvery) && rule.Value == 0)
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
  if (AtOneMoment(rule.Kind) && (window.empty() || rule.ToMs)) return fail("happens at one moment: give @T");
  return rule;
}

FaultPlan::FaultPlan(std::vector<FaultSpec> rules) {
  for (FaultSpec& s : rules) entries_.push_back({s});
}

bool FaultPlan::Counted(FaultKind kind, double nowMs) {
  bool hit = false;
  for (Entry& e : entries_) {
    if (e.Rule.Kind != kind || !e.Rule.ActiveAt(nowMs)) continue;
    if (++e.Count % e.Rule.Value == 0) hit = true;
  }
  return hit;
}

bool FaultPlan::DropAnswer(double nowMs) { return Counted(FaultKind::DropEvery, nowMs); }

bool FaultPlan::CorruptAnswer(double nowMs) { return Counted(FaultKind::CorruptEvery, nowMs); }

double FaultPlan::AnswerDelayMs(double nowMs) const {
  double delay = 0;
  for (const Entry& e : entries_)
    if (e.Rule.Kind == FaultKind::DelayMs && e.Rule.ActiveAt(nowMs)) delay += e.Rule.Value;
  return delay;
}

bool FaultPlan::NackBlock(uint32_t block, double nowMs) const {
  for (const Entry& e : entries_)
    if (e.Rule.Kind == FaultKind::NackBlock && e.Rule.Value == block && e.Rule.ActiveAt(nowMs))
      return true;
  return false;
}

std::vector<FaultEdge> FaultPlan::Step(double nowMs) {
  std::vector<FaultEdge> edges;
  for (Entry& e : entries_) {
    const bool active = e.Rule.ActiveAt(nowMs);
    if (active != e.Active)
      edges.push_back({e.Rule.Kind, e.Rule.Value, active, e.Rule.ToMs.has_value()});
    e.Active = active;
  }
  return edges;
}

}  // namespace kpxsim
