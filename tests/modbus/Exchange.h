#pragma once
// One exchange through a connector, as a test drives it: send a frame, wait on the GUI thread
// for the answer or the transport failure.

#include <QCoreApplication>

#include <chrono>
#include <memory>
#include <vector>

#include "modbus/KRConnector.h"

struct Result {
  bool Done = false;
  int32_t Error = -999;
  std::vector<uint8_t> Answer;
};

// Records a transport failure into its result.
struct FailToken : TKRPackToken {
  Result* R;
  explicit FailToken(Result* r) : R(r) {}
  void TransportFailed(int32_t e) override {
    R->Error = e;
    R->Done = true;
  }
};

inline void SendFrame(TKRConnector& c, const TKRBuffer& frame, uint8_t len, int32_t rlen,
                      Result& r, uint32_t delimiter = 0, int32_t delimiterLen = 0) {
  c.Send(std::make_unique<TKRBuffer>(frame), len,
         [&r](int32_t e, PKRBuffer p, int32_t n, TKRPackToken*) {
           r.Error = e;
           r.Answer.assign(p->begin(), p->begin() + n);
           r.Done = true;
         },
         std::make_unique<FailToken>(&r), true, rlen, delimiter, delimiterLen);
}

inline bool Await(const Result& r, int ms = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!r.Done && std::chrono::steady_clock::now() < end)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return r.Done;
}
