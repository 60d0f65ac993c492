#pragma once
// What a SCPI client has sent and the server has not yet carried out: whole lines in the order
// they came, then the line still being received. Bounded, so that the server stops reading the
// socket once it is full and the rest waits in the kernel. A line longer than the limit takes
// one place of its own and is dropped up to its LF.

#include <QByteArray>

#include <cstddef>

class TScpiLineBuffer {
 public:
  static constexpr qsizetype kMaxLine = 4096;  // bytes of a line, without its CR LF
  static constexpr qsizetype kCapacity = 64 * 1024;

  struct TLine {
    QByteArray Text;       // without CR LF
    bool Overrun = false;  // an over-long line was here
  };

  // Bytes that may still be received.
  qsizetype Room() const;
  void Append(const char* aData, qsizetype aSize);
  size_t Lines() const { return fLines; }
  // Call only while Lines() is not 0.
  TLine TakeLine();
  // Part of a line has been received (or is being dropped) and its LF has not.
  bool HasPartial() const { return fPartial > 0 || fDropping; }

 private:
  void EndLine();
  void MarkOverrun();

  QByteArray fData;
  qsizetype fStart = 0;    // the next line begins here
  qsizetype fPartial = 0;  // bytes of the line being received, at the end of fData
  size_t fLines = 0;
  bool fDropping = false;  // the rest of an over-long line is skipped up to its LF
};
