#pragma once
// A connector whose link is played by the test: link state, open results, send failures and
// answers are scripted; the frames sent are recorded.

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "modbus/KRConnector.h"

// What the link of the scripted connector does, set by the test.
struct Script {
  std::atomic<bool> Up{false};
  std::atomic<bool> OpenSucceeds{true};
  std::atomic<int> Opens{0};
  std::atomic<int> Closes{0};
  std::atomic<int> SendCode{0};
  std::mutex Mutex;
  std::deque<int32_t> Answers;  // > 0: that many bytes arrive; < 0: minus the failure code
  std::deque<std::vector<uint8_t>> Replies;  // whole answers, used before Answers
  std::vector<std::vector<uint8_t>> Sent;    // the frames sent, in order
  TKREvent Hold{true};          // a receive waits until this is set

  void Answer(std::initializer_list<int32_t> a) {
    std::lock_guard l(Mutex);
    Answers.insert(Answers.end(), a);
  }
};

class ScriptThread : public TKRConnectorThread {
 public:
  ScriptThread(TKRConnector& c, TKRThreadQueue2& q, Script& s) : TKRConnectorThread(c, q), fS(s) {}
  ~ScriptThread() override { Terminate(); }

 protected:
  bool LinkUp() override { return fS.Up; }
  void OpenLink() override {
    ++fS.Opens;
    fS.Up = fS.OpenSucceeds.load();
  }
  QString OpenFailureText() const override { return "open"; }
  void CloseLink() override {
    ++fS.Closes;
    fS.Up = false;
  }
  bool DiscardInput() override { return true; }
  void Transmit(TKRConnectorPack& p) override {
    if (fS.SendCode) {
      CountFailure(p, fS.SendCode);
      return;
    }
    std::lock_guard l(fS.Mutex);
    fS.Sent.emplace_back(p.Pack->begin(), p.Pack->begin() + p.Length);
  }
  int32_t Receive(TKRConnectorPack& p, uint32_t) override {
    fS.Hold.WaitFor(-1);
    int32_t a = -4;
    {
      std::lock_guard l(fS.Mutex);
      if (!fS.Replies.empty()) {
        const std::vector<uint8_t> r = std::move(fS.Replies.front());
        fS.Replies.pop_front();
        std::copy(r.begin(), r.end(), p.Pack->begin());
        return static_cast<int32_t>(r.size());
      }
      if (!fS.Answers.empty()) {
        a = fS.Answers.front();
        fS.Answers.pop_front();
      }
    }
    for (int i = 0; i < a; ++i) (*p.Pack)[i] = static_cast<uint8_t>(0xA0 + i);
    return a;
  }

 private:
  Script& fS;
};

class ScriptConnector : public TKRConnector {
 public:
  Script S;
  ScriptConnector() {
    SetName("Script");
    RestartThread();
  }
  ~ScriptConnector() override { Shutdown(); }
  void SetActive(bool Value) override {
    if (Changing() || !Thread() || Value == Thread()->Active()) return;
    TChangeGuard guard(*this);
    if (Value) {
      ++S.Opens;
      S.Up = S.OpenSucceeds.load();
    }
    ApplyActive(Value);
    if (!Value) {
      RestartThread();
      S.Up = false;
    }
  }
  bool GetConnected() const override { return S.Up; }

 protected:
  std::unique_ptr<TKRConnectorThread> CreateThread() override {
    return std::make_unique<ScriptThread>(*this, Queue(), S);
  }
};

