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

constexpr std::array<KindName, 7> kKinds{{
    {"drop-every", FaultKind::DropEvery, true},
    {"corrupt-every", FaultKind::CorruptEvery, true},
    {"delay-ms", FaultKind::DelayMs, true},
    {"unlock", FaultKind::Unlock, false},
    {"vanish", FaultKind::Vanish, false},
    {"protect", FaultKind::Protect, true},
    {"nack-block", FaultKind::NackBlock, true},
}};

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
  FaultSpec spec{};
  bool known = false;
  for (const KindName& k : kKinds) {
    if (k.Name != name) continue;
    known = true;
    spec.Kind = k.Kind;
    if (k.TakesValue != (eq != std::string_view::npos)) return fail(k.TakesValue ? "needs =N" : "takes no value");
    if (k.TakesValue && !ParseUnsigned(value, spec.Value)) return fail("not a number");
  }
  if (!known) return fail("unknown fault");
  if ((spec.Kind == FaultKind::DropEvery || spec.Kind == FaultKind::CorruptEvery) && spec.Value == 0)
    return fail("N must be at least 1");
  if (spec.Kind == FaultKind::Protect && spec.Value > 0xFFFF) return fail("a code is one register");
  if (!window.empty()) {
    const auto dash = window.find('-');
    uint32_t from = 0, to = 0;
    if (!ParseUnsigned(window.substr(0, dash), from)) return fail("bad window start");
    spec.FromMs = from;
    if (dash != std::string_view::npos) {
      if (!ParseUnsigned(window.substr(dash + 1), to) || to <= from) return fail("bad window end");
      spec.ToMs = to;
    }
  } else if (text.find('@') != std::string_view::npos) {
    return fail("empty window");
  }
  return spec;
}

FaultPlan::FaultPlan(std::vector<FaultSpec> specs) {
  for (FaultSpec& s : specs) entries_.push_back({s});
}

bool FaultPlan::Counted(FaultKind kind, double nowMs) {
  bool hit = false;
  for (Entry& e : entries_) {
    if (e.Spec.Kind != kind || !e.Spec.ActiveAt(nowMs)) continue;
    if (++e.Count % e.Spec.Value == 0) hit = true;
  }
  return hit;
}

bool FaultPlan::DropAnswer(double nowMs) { return Counted(FaultKind::DropEvery, nowMs); }

bool FaultPlan::CorruptAnswer(double nowMs) { return Counted(FaultKind::CorruptEvery, nowMs); }

double FaultPlan::AnswerDelayMs(double nowMs) const {
  double delay = 0;
  for (const Entry& e : entries_)
    if (e.Spec.Kind == FaultKind::DelayMs && e.Spec.ActiveAt(nowMs)) delay += e.Spec.Value;
  return delay;
}

bool FaultPlan::NackBlock(uint32_t block, double nowMs) const {
  for (const Entry& e : entries_)
    if (e.Spec.Kind == FaultKind::NackBlock && e.Spec.Value == block && e.Spec.ActiveAt(nowMs))
      return true;
  return false;
}

std::vector<FaultEdge> FaultPlan::Step(double nowMs) {
  std::vector<FaultEdge> edges;
  for (Entry& e : entries_) {
    const bool active = e.Spec.ActiveAt(nowMs);
    if (active != e.Active)
      edges.push_back({e.Spec.Kind, e.Spec.Value, active, e.Spec.ToMs.has_value()});
    e.Active = active;
  }
  return edges;
}

}  // namespace kpxsim
