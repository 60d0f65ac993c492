#include "cli/ScpiLineBuffer.h"

#include <algorithm>
#include <cstring>

namespace {
// Stands for an over-long line. A NUL a client sends becomes 0x01, which the parser refuses as
// the same invalid character, so no line of a client can look like it.
constexpr char kOverrunMark = '\0';
}  // namespace

qsizetype TScpiLineBuffer::Room() const {
  return std::max<qsizetype>(0, kCapacity - (fData.size() - fStart));
}

void TScpiLineBuffer::MarkOverrun() {
  fData.chop(fPartial);
  fData.append(kOverrunMark);
  fData.append('\n');
  fPartial = 0;
  ++fLines;
}

void TScpiLineBuffer::EndLine() {
  const bool cr = fPartial > 0 && fData.endsWith('\r');
  if (fPartial - (cr ? 1 : 0) > kMaxLine) {
    MarkOverrun();
    return;
  }
  fData.append('\n');
  fPartial = 0;
  ++fLines;
}

void TScpiLineBuffer::Append(const char* aData, qsizetype aSize) {
  while (aSize > 0) {
    const auto* lf = static_cast<const char*>(std::memchr(aData, '\n', static_cast<size_t>(aSize)));
    const qsizetype piece = lf ? lf - aData : aSize;
    if (!fDropping) {
      const qsizetype at = fData.size();
      fData.append(aData, piece);
      std::replace(fData.begin() + at, fData.end(), kOverrunMark, '\x01');
      fPartial += piece;
      // One byte more than the limit may be the CR before the LF.
      if (fPartial > kMaxLine + 1) {
        MarkOverrun();
        fDropping = true;
      }
    }
    if (!lf) break;
    if (fDropping)
      fDropping = false;
    else
      EndLine();
    aData += piece + 1;
    aSize -= piece + 1;
  }
}

TScpiLineBuffer::TLine TScpiLineBuffer::TakeLine() {
  const qsizetype end = fData.indexOf('\n', fStart);
  TLine line;
  line.Text = fData.mid(fStart, end - fStart);
  fStart = end + 1;
  --fLines;
  if (line.Text.size() == 1 && line.Text[0] == kOverrunMark) {
    line.Text.clear();
    line.Overrun = true;
  } else if (line.Text.endsWith('\r')) {
    line.Text.chop(1);
  }
  // Taken lines are let go in one move once they are half the buffer.
  if (fStart >= kCapacity / 2 || fStart == fData.size()) {
    fData.remove(0, fStart);
    fStart = 0;
  }
  return line;
}
