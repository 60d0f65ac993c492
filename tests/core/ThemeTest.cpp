// The dark theme as the user sees it: a disabled control must look different from an enabled
// one, or the user cannot tell which controls answer.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <functional>
#include <memory>

#include "core/KelvoraApplication.h"

namespace {

// Two copies of a control side by side on the theme's window colour, the right one disabled.
struct TPair {
  explicit TPair(const std::function<QWidget*(QWidget*)>& make) {
    auto* layout = new QHBoxLayout(&Window);
    Enabled = make(&Window);
    Disabled = make(&Window);
    Disabled->setEnabled(false);
    layout->addWidget(Enabled);
    layout->addWidget(Disabled);
    Window.show();
  }
  QWidget Window;
  QWidget* Enabled = nullptr;
  QWidget* Disabled = nullptr;
};

}  // namespace

TEST(AuricTheme, EveryDisabledControlLooksDisabled) {
  static_cast<TKelvoraApplication*>(qApp)->ApplyAuricStyle();
  const std::pair<const char*, std::function<QWidget*(QWidget*)>> controls[] = {
      {"check box", [](QWidget* p) { return new QCheckBox("Soft Front", p); }},
      {"ticked check box",
       [](QWidget* p) {
         auto* box = new QCheckBox("Power on start", p);
         box->setChecked(true);
         return box;
       }},
      {"radio button", [](QWidget* p) { return new QRadioButton("Celsius", p); }},
      {"chosen radio button",
       [](QWidget* p) {
         auto* button = new QRadioButton("Fahrenheit", p);
         button->setChecked(true);
         return button;
       }},
      {"label", [](QWidget* p) { return new QLabel("Over-heat limit", p); }},
      {"push button", [](QWidget* p) { return new QPushButton("Save", p); }},
      {"combo box",
       [](QWidget* p) {
         auto* box = new QComboBox(p);
         box->addItem("9600");
         return box;
       }},
      {"line edit", [](QWidget* p) { return new QLineEdit("192.168.001.001", p); }},
  };
  for (const auto& [kind, make] : controls) {
    TPair pair(make);
    EXPECT_NE(pair.Enabled->grab().toImage(), pair.Disabled->grab().toImage()) << kind;
  }

  // The gallery's picture of the profile's flag both ways.
  TPair softFront([](QWidget* p) { return new QCheckBox("Soft Front", p); });
  QDir().mkpath(KELVORA_GALLERY_DIR);
  EXPECT_TRUE(softFront.Window.grab().save(QDir(KELVORA_GALLERY_DIR).filePath("soft-front-enabled-disabled.png")));
}
