#pragma once
// Collapsible titled panels stacked in a group, as on the left side of the main window.

#include <QWidget>

#include <functional>

class QToolButton;
class QVBoxLayout;

class TCategoryPanel : public QWidget {
  Q_OBJECT
 public:
  TCategoryPanel(const QString& name, const QString& caption, QWidget* parent = nullptr);

  bool Collapsed() const { return fCollapsed; }
  void SetCollapsed(bool value);
  QString Caption() const;
  void SetCaption(const QString& value);
  // The area below the header that holds the panel's controls.
  QWidget* Surface() const { return fSurface; }

  std::function<void(TCategoryPanel*)> OnExpand;
  std::function<void(TCategoryPanel*)> OnCollapse;

  static constexpr int kHeaderHeight = 22;

 private:
  friend class TCategoryPanelGroup;
  std::function<void()> fOnFold;  // the group re-shares its height
  QToolButton* fHeader;
  QWidget* fSurface;
  bool fCollapsed = true;
};

class TCategoryPanelGroup : public QWidget {
  Q_OBJECT
 public:
  explicit TCategoryPanelGroup(const QString& name, QWidget* parent = nullptr);
  TCategoryPanel* AddPanel(const QString& name, const QString& caption);

 private:
  // Open panels share the height below the headers; with all closed the headers stack on top.
  void ShareHeight();
  QVBoxLayout* fLayout;
};
