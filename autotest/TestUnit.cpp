#include "autotest/TestUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Dialogs.h"
#include "core/ErrorReport.h"
#include "autotest/PersistentTable.h"
#include "autotest/TestGrid.h"
#include "core/UtilUnit.h"
#include "host/SettingsStore.h"
#include "panel/EnterUnit.h"
#include "panel/Indicator.h"

namespace {
constexpr QSize kClientSize(296, 520);
constexpr int kBottomBarHeight = 34;
// Setting beside the step file: the current unit its currents are in.
const QString kTableDividerValue = QStringLiteral("TCDIV");

// Serves timers, answers and painting, but no user input, for ms milliseconds.
void ServeWithoutInput(uint32_t ms) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(ms), &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

template <typename F, typename... Args>
auto CallIfSet(const F& f, Args&&... args) {
  using R = decltype(f(std::forward<Args>(args)...));
  if (f) return f(std::forward<Args>(args)...);
  return R();
}

QPushButton* AddButton(QWidget* bar, QBoxLayout* layout, const char* name, const QString& text,
                       int width) {
  auto* button = new QPushButton(text, bar);
  button->setObjectName(name);
  button->setFixedSize(width, 26);
  layout->addWidget(button);
  return button;
}
}  // namespace

TTestForm::TTestForm(TAutoTestHost host, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      fHost(std::move(host)),
      fBeep(&QApplication::beep),
      fStartWait(&ServeWithoutInput) {
  setObjectName("TestForm");
  setWindowTitle("Auto Test");
  setFixedSize(kClientSize);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  StringGrid1 = new TTestGrid(this);
  layout->addWidget(StringGrid1);
  auto* bar = new QWidget(this);
  bar->setObjectName("BottomBar");
  bar->setFixedHeight(kBottomBarHeight);
  layout->addWidget(bar);
  auto* buttons = new QHBoxLayout(bar);
  buttons->setContentsMargins(4, 4, 4, 4);
  fStartBtn = AddButton(bar, buttons, "StartBtn", "Start", 64);
  fDeleteBtn = AddButton(bar, buttons, "DeleteBtn", "-", 32);
  fAddBtn = AddButton(bar, buttons, "AddBtn", "+", 32);
  fSaveBtn = AddButton(bar, buttons, "SaveBtn", "Save", 64);
  buttons->addStretch();
  ActivityIndicator1 = new QProgressBar(bar);
  ActivityIndicator1->setObjectName("ActivityIndicator1");
  ActivityIndicator1->setFixedSize(40, 12);
  ActivityIndicator1->setTextVisible(false);
  ActivityIndicator1->setRange(0, 1);
  buttons->addWidget(ActivityIndicator1);

  connect(fStartBtn, &QPushButton::clicked, this, Guarded([this] { StartBtnClick(); }));
  connect(fDeleteBtn, &QPushButton::clicked, this, Guarded([this] { DeleteBtnClick(); }));
  connect(fAddBtn, &QPushButton::clicked, this, Guarded([this] { AddBtnClick(); }));
  connect(fSaveBtn, &QPushButton::clicked, this, Guarded([this] { SaveBtnClick(); }));
  StringGrid1->OnToggleEnabled = Guarded([this](int step) { StringGrid1ToggleEnabled(step); });
  StringGrid1->OnSelectCell =
      Guarded([this](int step, int column) { StringGrid1SelectCell(column, step + 1); });
  Timer1.setInterval(1000);
  connect(&Timer1, &QTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
  FormCreate();
}

TTestForm::~TTestForm() = default;

void TTestForm::FormCreate() {
  if (LoadPersistentTable(fDataArray) && RegValueExists(kTableDividerValue)) {
    const int32_t divider = RegReadInteger(kTableDividerValue);
    if (divider == 1 || divider == 10) fTableDivider = divider;
  }
  const auto makeIndicator = [](uint32_t min, uint32_t max, uint32_t* value, const char* unit) {
    auto indicator = std::make_unique<TIndicator>(min, max, 4, 3, value, unit);
    return indicator;
  };
  fUsetInd = makeIndicator(10, MAX_U, &fDataArray[0].Uset, "V");
  fIsetInd = makeIndicator(1, MAX_I, &fDataArray[0].Iset, "A");
  fTimeInd = makeIndicator(1, kMaxStepTime, &fDataArray[0].Time, "s");
  fTimeInd->SetHoursMinutes(true);
  for (TIndicator* indicator : {fUsetInd.get(), fIsetInd.get(), fTimeInd.get()})
    indicator->SetOnChange(Guarded([this](void*) { IndicatorChanged(); }));
  fPinned = true;
  // Nothing to start before a connection; nothing to save before a run.
  fStartBtn->setEnabled(false);
  fSaveBtn->setEnabled(false);
  UpdateGrid();
}

// ---- The grid ----------------------------------------------------------------------------------

void TTestForm::UpdateGrid() {
  StringGrid1->SetStepCount(fDataArray.Count());
  for (int row = 1; row <= fDataArray.Count(); ++row) UpdateRow(row);
}

void TTestForm::UpdateRow(int ARow) {
  const int step = ARow - 1;
  if (step < 0 || step >= fDataArray.Count()) return;
  StringGrid1->ShowStep(step, StepTexts(fDataArray[step], CUR_DIVIDER), fDataArray[step].Enabled);
}

int TTestForm::SelectedStep() const { return StringGrid1->currentRow(); }

void TTestForm::SelectStep(int step) {
  StringGrid1->setCurrentCell(step, TTestGrid::EnabledColumn);
}

void TTestForm::StringGrid1ToggleEnabled(int step) {
  if (step < 0 || step >= fDataArray.Count()) return;
  fDataArray[step].Enabled = !fDataArray[step].Enabled;
  UpdateRow(step + 1);
}

void TTestForm::StringGrid1SelectCell(int ACol, int ARow) {
  const int step = ARow - 1;
  if (step < 0 || step >= fDataArray.Count()) return;
  TIndicator* indicator = nullptr;
  uint32_t* field = nullptr;
  switch (ACol) {
    case TTestGrid::UsetColumn:
      indicator = fUsetInd.get();
      field = &fDataArray[step].Uset;
      break;
    case TTestGrid::IsetColumn:
      indicator = fIsetInd.get();
      field = &fDataArray[step].Iset;
      break;
    case TTestGrid::TimeColumn:
      indicator = fTimeInd.get();
      field = &fDataArray[step].Time;
      break;
    default: return;
  }
  TEnterForm* entry = CallIfSet(fHost.EntryForm);
  if (!entry) return;
  entry->move(StringGrid1->CellScreenRect(step, ACol).topLeft() + QPoint(2, 2));
  entry->setToolTip(QString());  // a hint left from a side panel's field does not belong here
  entry->SetIndicator(indicator);
  indicator->ValuePtr = field;
  entry->show();
  entry->activateWindow();
}

void TTestForm::IndicatorChanged() { UpdateRow(SelectedStep() + 1); }

void TTestForm::AddBtnClick() {
  if (!fDataArray.Add()) {
    fBeep();
    return;
  }
  UpdateGrid();
}

void TTestForm::DeleteBtnClick() {
  if (fDataArray.Count() <= 1) {
    fBeep();
    return;
  }
  // The last step goes, whichever row is selected.
  SelectStep(std::min(SelectedStep(), fDataArray.Count() - 2));
  fDataArray.DeleteLast();
  UpdateGrid();
}

// ---- The run -----------------------------------------------------------------------------------

void TTestForm::ApplyStep(int Index) {
  CallIfSet(fHost.SetKnobPositions, fDataArray[Index].Uset, fDataArray[Index].Iset);
  fRun.Begin(fDataArray, Index);
  SelectStep(Index);
}

void TTestForm::StartBtnClick() {
  if (Running()) return;
  const int first = fRun.Start(fDataArray);
  if (first >= 0) {
    ApplyStep(first);
    // The scheduler writes the step's set values before the output goes on.
    fStartWait(kStartWaitMs);
    if (CallIfSet(fHost.Connected) && !CallIfSet(fHost.PowerOn)) CallIfSet(fHost.OnOffBtnClick);
    if (CallIfSet(fHost.PowerOn)) {
      Timer1.start();
      EnableEditing(false);
    }
  }
  CallIfSet(fHost.ClearLogData);
  fLogIntevalCount = 0;
  CallIfSet(fHost.WriteLogData);
  CallIfSet(fHost.SetLogging, CallIfSet(fHost.LogByEventSelected));
}

void TTestForm::Timer1Timer() {
  const bool stepOver = fRun.SecondPassed();
  if (CallIfSet(fHost.LogByTimeSelected)) CallIfSet(fHost.LogByTime, fLogIntevalCount);
  if (!stepOver) return;
  const TTestRun::TNext next = fRun.NextStep(fDataArray);
  switch (next.Kind) {
    case TTestRun::TNext::TKind::Apply: ApplyStep(next.Step); break;
    case TTestRun::TNext::TKind::Wait: break;
    case TTestRun::TNext::TKind::Finished:
      CallIfSet(fHost.SetLogging, false);
      // Switching the output off ends the run through the main window; a switch that is
      // refused (keys not locked) must not leave the timer counting past the end.
      if (CallIfSet(fHost.PowerOn)) CallIfSet(fHost.OnOffBtnClick);
      EndTest();
      break;
  }
}

void TTestForm::EndTest() {
  if (!Timer1.isActive()) return;
  Timer1.stop();
  EnableEditing(true);
}

void TTestForm::EnableEditing(bool Enable) {
  for (QWidget* control : {static_cast<QWidget*>(fStartBtn), static_cast<QWidget*>(fSaveBtn),
                           static_cast<QWidget*>(fDeleteBtn), static_cast<QWidget*>(fAddBtn),
                           static_cast<QWidget*>(StringGrid1)})
    control->setEnabled(Enable);
  fSaveBtn->setVisible(Enable);
  // A busy bar (no range) animates.
  ActivityIndicator1->setRange(0, Enable ? 1 : 0);
}

void TTestForm::SaveBtnClick() { CallIfSet(fHost.SaveLog, this); }

// ---- Window life ------------------------------------------------------------------------------

void TTestForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TTestForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TTestForm::FormActivate() {
  TEnterForm* entry = CallIfSet(fHost.EntryForm);
  if (entry && entry->isVisible()) entry->hide();
}

void TTestForm::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  Guarded([this] { FormClose(); })();
  event->accept();
}

bool TTestForm::FormCloseQuery() {
  if (!Running()) return true;
  const QPoint topLeft = frameGeometry().center() - QPoint(100, 50);
  if (ShowMessageAt(this, topLeft, "Stop the autotest?", TMsgKind::Confirmation,
                    QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
    return false;
  if (CallIfSet(fHost.PowerOn)) CallIfSet(fHost.OnOffBtnClick);
  EndTest();
  return true;
}

void TTestForm::FormClose() {
  SavePersistentTable(fDataArray);
  if (fTableDivider != 0) RegWriteInteger(kTableDividerValue, fTableDivider);
}

void TTestForm::SetModelLimits(uint32_t maxU, uint32_t maxI, uint16_t currentDivider) {
  MAX_U = maxU;
  MAX_I = maxI;
  CUR_DIVIDER = currentDivider;
  const std::vector<int> held = fDataArray.FitToModel(
      fTableDivider != 0 ? fTableDivider : currentDivider, currentDivider, maxU, maxI);
  fTableDivider = currentDivider;
  fUsetInd->MaxValue = MAX_U;
  fIsetInd->MaxValue = MAX_I;
  fIsetInd->PointPos = CUR_DIVIDER == 10 ? 4 : 3;
  UpdateGrid();
  if (held.empty()) return;
  QStringList numbers;
  for (int step : held) numbers << QString::number(step);
  const QString text = QString("%1 %2 held to the connected supply's limits: %3 V, %4 A")
                           .arg(held.size() == 1 ? "Step" : "Steps", numbers.join(", "),
                                FormatFixed(MAX_U, 3),
                                FormatFixed(MAX_I, CUR_DIVIDER == 10 ? 4 : 3));
  // Said once the connecting handler has returned.
  QMetaObject::invokeMethod(
      this, Guarded([this, text] { ShowCenteredMessage(this, text, TMsgKind::Information); }),
      Qt::QueuedConnection);
}
