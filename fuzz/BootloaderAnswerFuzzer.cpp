// The bootloader client's handling of the answers it reads: every step of an update runs against
// answers taken from the input, through the port seam, so no line and no time-out is involved.
#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

#include "flasher/stm32_flasher.h"
#include "fuzz/ScriptedSerialDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetScriptedAnswers(data, size);
  TKRCOMPort port;
  port.SetPort(QStringLiteral("/dev/scripted"));
  port.Open();
  TSTM32_Flasher flasher(&port);
  QByteArray image(300, '\x5A');
  QBuffer file(&image);
  file.open(QIODevice::ReadOnly);
  QByteArray readBack(300, '\0');
  try {
    // Each step runs whatever the one before found, as far as the answers go.
    flasher.autobaud();
    flasher.get_cmd();
    flasher.get_pidvid();
    flasher.erase();
    flasher.flash(file);
    flasher.device_read(readBack);
    flasher.execute();
  } catch (const TNoMoreAnswers&) {
  }
  return 0;
}
