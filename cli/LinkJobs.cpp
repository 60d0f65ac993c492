#include "cli/LinkJobs.h"

#include <QMetaObject>

void TLinkJobs::Post(std::function<void()> aJob) {
  if (fStopped) return;
  fJobs.push_back(std::move(aJob));
  if (fScheduled) return;
  fScheduled = true;
  QMetaObject::invokeMethod(&fContext, [this] { RunAll(); }, Qt::QueuedConnection);
}

void TLinkJobs::RunAll() {
  while (!fJobs.empty() && !fStopped) {
    const std::function<void()> job = std::move(fJobs.front());
    fJobs.pop_front();
    job();
  }
  fScheduled = false;
}

void TLinkJobs::Stop() {
  fStopped = true;
  fJobs.clear();
}
