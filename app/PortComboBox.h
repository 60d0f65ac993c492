#pragma once
// The Connection panel's port list. Items keep the full entry text (the path that opens the port,
// perhaps followed by " BT " and a Bluetooth name); they are drawn without the port's folder,
// so "/dev/rfcomm0 BT Phone" reads "rfcomm0 BT Phone".

#include <QComboBox>

QString PortDisplayText(const QString& entry);

class TPortComboBox : public QComboBox {
  Q_OBJECT
 public:
  TPortComboBox(const QString& name, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
