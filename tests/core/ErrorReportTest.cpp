#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>

#include "core/Dialogs.h"
#include "core/KelvoraApplication.h"

namespace {

struct ScriptedDialogs {
  std::vector<TDialogRequest> shown;
  QMessageBox::StandardButton answer = QMessageBox::Ok;
  ScriptedDialogs() {
    SetDialogResponder([this](const TDialogRequest& request) {
      shown.push_back(request);
      TDialogReply reply;
      reply.Button = answer;
      return reply;
    });
  }
  ~ScriptedDialogs() { SetDialogResponder(nullptr); }
};

}  // namespace

TEST(ErrorReport, AnErrorRaisedByAHandlerIsShownAndTheProgramGoesOn) {
  ScriptedDialogs dialogs;
  QPushButton button("Save");
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, Guarded([&] {
    ++clicks;
    if (clicks == 1) throw EKelvoraError(QString::fromUtf8("Cannot write Log_1.txt: диск полон"));
  }));
  button.show();
  QTest::mouseClick(&button, Qt::LeftButton);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].DialogType, TDialogRequest::Type::Message);
  EXPECT_EQ(dialogs.shown[0].Kind, TMsgKind::Error);
  EXPECT_EQ(dialogs.shown[0].Text, QString::fromUtf8("Cannot write Log_1.txt: диск полон"));
  // The button still works afterwards.
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST(ErrorReport, StandardExceptionsAreReportedWithTheirText) {
  ScriptedDialogs dialogs;
  auto handler = Guarded([](int code) { throw std::runtime_error("bad image " + std::to_string(code)); });
  handler(7);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].Text, "bad image 7");
}

namespace {
// An object whose own event handler raises, to reach the application's last net.
class RaisingObject : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw EKelvoraError("raised at dispatch");
    return QObject::event(e);
  }
};
}  // namespace

TEST(ErrorReport, TheApplicationCatchesWhatEscapesAHandler) {
  ScriptedDialogs dialogs;
  RaisingObject target;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].Text, "raised at dispatch");
}

TEST(ErrorReport, TheSeamAnswersConfirmationsAndFileDialogs) {
  ScriptedDialogs dialogs;
  dialogs.answer = QMessageBox::No;
  EXPECT_EQ(ShowCenteredMessage(nullptr, "Stop the autotest?", TMsgKind::Confirmation,
                                QMessageBox::Yes | QMessageBox::No),
            QMessageBox::No);
  EXPECT_EQ(AskSaveFileName(nullptr, "Save log", "Log_1.txt", "*.txt"), "");
  EXPECT_FALSE(AskColor(nullptr, Qt::red).has_value());
  ASSERT_EQ(dialogs.shown.size(), 3u);
  EXPECT_EQ(dialogs.shown[1].DialogType, TDialogRequest::Type::SaveFile);
  EXPECT_EQ(dialogs.shown[1].Text, "Log_1.txt");
  EXPECT_EQ(dialogs.shown[2].DialogType, TDialogRequest::Type::Color);
}
