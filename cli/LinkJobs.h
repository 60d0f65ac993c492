#pragma once
// Work on the one supply link of kelvora-cli serve, one job at a time in the order posted: SCPI
// lines, MQTT readings and commands. Jobs run from the event loop, never inside Post, so that
// whoever posts several in a row keeps their order; a job's exchanges wait in a local event
// loop where more jobs may be posted, and those run after it.

#include <QObject>

#include <deque>
#include <functional>

class TLinkJobs {
 public:
  void Post(std::function<void()> aJob);
  size_t Waiting() const { return fJobs.size(); }
  // For a stop: the job running goes on to its end, the waiting ones and any posted later never
  // run.
  void Stop();

 private:
  void RunAll();

  std::deque<std::function<void()>> fJobs;
  bool fScheduled = false;  // RunAll is due or running
  bool fStopped = false;
  QObject fContext;         // ends a scheduled run with the queue
};
