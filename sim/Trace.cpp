#include "sim/Trace.h"

namespace kpxsim {

Trace::~Trace() {
  if (file_) std::fclose(file_);
}

bool Trace::Open(const std::string& path) {
  if (path.empty()) return true;
  file_ = std::fopen(path.c_str(), "w");
  return file_ != nullptr;
}

void Trace::Write(std::string_view dir, const JsonObject& fields) {
  if (!file_) return;
  JsonObject line;
  line.Add("t", clock_.NowMs()).Add("dir", dir).Merge(fields);
  std::fprintf(file_, "%s\n", line.Text().c_str());
  std::fflush(file_);
}

}  // namespace kpxsim
