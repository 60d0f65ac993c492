#pragma once
// What the journal tests share: a user answering from a script, a data folder and an output
// folder on the real disk, and a log recorded one entry a second.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <deque>
#include <vector>

#include "core/Dialogs.h"
#include "logging/DataLog.h"
#include "logging/LogRecovery.h"
inline QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The local offset from UTC as the journal writes it.
inline QByteArray Zone(const QDateTime& moment) {
  const int minutes = moment.offsetFromUtc() / 60;
  return QString::asprintf("%c%02d:%02d", minutes < 0 ? '-' : '+', std::abs(minutes) / 60,
                           std::abs(minutes) % 60)
      .toLatin1();
}

inline void WriteFile(const QString& path, const QByteArray& contents) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(contents);
}

// A user who answers each question with the next of Answers and each save dialog with the next
// of Files.
struct TScriptedUser {
  std::deque<QMessageBox::StandardButton> Answers;
  std::deque<QString> Files;
  std::vector<TDialogRequest> Questions, Warnings, SaveDialogs;
  void Install() {
    SetDialogResponder([this](const TDialogRequest& request) {
      TDialogReply reply;
      if (request.DialogType == TDialogRequest::Type::SaveFile) {
        SaveDialogs.push_back(request);
        if (!Files.empty()) reply.FileName = Files.front(), Files.pop_front();
        return reply;
      }
      (request.Kind == TMsgKind::Confirmation ? Questions : Warnings).push_back(request);
      reply.Button = QMessageBox::Ok;
      if (request.Kind == TMsgKind::Confirmation && !Answers.empty())
        reply.Button = Answers.front(), Answers.pop_front();
      return reply;
    });
  }
};

class Journal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data.isValid() && out.isValid());
    user.Install();
  }
  void TearDown() override {
    ResetModelVariables();
    SetDialogResponder({});
  }
  QStringList Journals() const {
    return QDir(data.path())
        .entryList({"*.journal"}, QDir::Files | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot,
                   QDir::Name);
  }
  QString JournalPath(int i = 0) const { return data.filePath(Journals().value(i)); }
  // Lines are written from the journal's own thread, a moment after the entry.
  bool JournalHasLines(int lines) const {
    return QTest::qWaitFor([&] { return Contents(JournalPath()).count('\n') == lines; }, 5000);
  }
  QString Out(const QString& name) const { return out.filePath(name); }
  void Recover(bool excel = false) {
    TLogRecovery recovery(data.path());
    recovery.SetDocumentOpener([](const QString&) { return true; });
    recovery.Offer(nullptr, excel);
  }

  QTemporaryDir data, out;
  TScriptedUser user;
};

// Entries from 09:00:00 on, one a second, with a journal in folder unless it is empty.
struct TRecordedLog {
  explicit TRecordedLog(const QString& folder, QTime start = QTime(9, 0, 0),
                        TJournalFileMaker files = {})
      : now(QDate(2026, 12, 8), start) {
    if (!folder.isEmpty()) log.KeepJournalIn(folder, std::move(files));
    log.SetClock([this] { return now; });
  }
  void Take(int count) {
    for (int i = 0; i < count; ++i, ++n, now = now.addSecs(1)) {
      TCurrentSet d{};
      d.USET = 1200 + n;
      d.ISET = 1500;
      d.UOUT = 1199 + n;
      d.IOUT = 1490 - n;
      d.POWER = d.UOUT * d.IOUT / 100;
      log.WriteLogData(d);
    }
  }
  QByteArray Saved(const QString& path) const {
    log.SaveTxtLogFile(path);
    return Contents(path);
  }
  QDateTime now;
  uint32_t n = 0;
  TDataLog log;
};
