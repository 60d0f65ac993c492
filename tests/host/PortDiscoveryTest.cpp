#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "host/PortDiscovery.h"
#include "host/PortWatcher.h"
#include "host/PortsFolder.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A fake /sys/class/tty, /dev and ports folder.
class PortTree : public ::testing::Test {
 protected:
  QTemporaryDir root;
  TPortSources sources;

  void SetUp() override {
    sources.TtyClass = root.path() + "/sys/class/tty";
    sources.DeviceFolder = root.path() + "/dev";
    sources.PortsFolder = root.path() + "/ports";
    QDir().mkpath(sources.TtyClass);
    QDir().mkpath(sources.DeviceFolder);
    QDir().mkpath(sources.PortsFolder);
  }

  void AddTty(const QString& name, bool withDevice, const QString& type = {},
              const QString& address = {}) {
    const QString dir = sources.TtyClass + '/' + name;
    QDir().mkpath(dir);
    if (withDevice) QDir().mkpath(dir + "/device");
    if (!type.isEmpty()) Write(dir + "/type", type);
    if (!address.isEmpty()) Write(dir + "/address", address);
  }

  QString AddLink(const QString& name) {
    const QString target = root.path() + "/pty-" + name;
    Write(target, "");
    const QString link = sources.PortsFolder + '/' + name;
    QFile::link(target, link);
    return link;
  }

  static void Write(const QString& path, const QString& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toLatin1() + "\n");
  }

  QString Dev(const QString& name) const { return sources.DeviceFolder + '/' + name; }
};

}  // namespace

TEST_F(PortTree, ListsPresentPortsAndSimulatorLinksSortedAsText) {
  AddTty("ttyUSB1", true);
  AddTty("ttyUSB10", true);
  AddTty("ttyUSB2", true);
  AddTty("ttyACM0", true);
  AddTty("ttyS0", true, "4");      // a real UART
  AddTty("ttyS1", true, "0");      // placeholder without a UART
  AddTty("ttyUSB3", false);        // no device behind it
  AddTty("tty1", true);            // a console, not a serial port
  AddTty("rfcomm0", false, {}, "00:1a:7d:da:71:13");
  const QString sim = AddLink("kpx-sim");
  const QString gone = AddLink("gone");
  QFile::remove(root.path() + "/pty-gone");  // its simulator ended: the link dangles
  QStringList ports{"stale"};
  GetSerialPortList(ports, sources);
  EXPECT_EQ(ports, (QStringList{Dev("rfcomm0"), Dev("ttyACM0"), Dev("ttyS0"), Dev("ttyUSB1"),
                                Dev("ttyUSB10"), Dev("ttyUSB2"), sim}));
}

TEST_F(PortTree, PathsWithABlankAreLeftOut) {
  AddLink("kpx sim");
  QStringList ports;
  GetSerialPortList(ports, sources);
  EXPECT_TRUE(ports.isEmpty());
}

TEST_F(PortTree, BluetoothLinksCarryTheDevicesNameOrItsAddress) {
  AddTty("rfcomm0", false, {}, "00:1a:7d:da:71:13");
  AddTty("ttyUSB0", true);
  QString asked;
  sources.BluetoothName = [&](const QString& address) {
    asked = address;
    return QString("Bench Phone");
  };
  EXPECT_EQ(GetPortFriendlyName(Dev("rfcomm0"), sources), Dev("rfcomm0") + " BT Bench Phone");
  EXPECT_EQ(asked, "00:1A:7D:DA:71:13");
  EXPECT_EQ(GetPortFriendlyName(Dev("ttyUSB0"), sources), Dev("ttyUSB0"));
  sources.BluetoothName = [](const QString&) { return QString(); };
  EXPECT_EQ(GetPortFriendlyName(Dev("rfcomm0"), sources), Dev("rfcomm0") + " BT 00:1A:7D:DA:71:13");
  EXPECT_EQ(PortNameOf(GetPortFriendlyName(Dev("rfcomm0"), sources)), Dev("rfcomm0"));
}

int ModeOf(const QString& path) {
  struct stat st {};
  return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

bool SetMode(const QString& path, mode_t mode) { return ::chmod(path.toLocal8Bit().constData(), mode) == 0; }

TEST_F(PortTree, APortsFolderThatOthersCanChangeIsIgnoredAndOursIsMadePrivate) {
  const QString sim = AddLink("kpx-sim");
  const auto listed = [this] {
    QStringList ports;
    GetSerialPortList(ports, sources);
    return ports;
  };
  ASSERT_TRUE(SetMode(sources.PortsFolder, 0777));
  EXPECT_TRUE(listed().isEmpty()) << "a link planted in a folder anyone may write";
  ASSERT_TRUE(SetMode(sources.PortsFolder, 0755));
  EXPECT_EQ(listed(), QStringList{sim});
  // A folder above it that others may write lets them swap the whole folder, unless it is sticky
  // (as /tmp is).
  ASSERT_TRUE(SetMode(root.path(), 0777));
  EXPECT_TRUE(listed().isEmpty());
  ASSERT_TRUE(SetMode(root.path(), 01777));
  EXPECT_EQ(listed(), QStringList{sim});
  ASSERT_TRUE(SetMode(root.path(), 0700));
  // A folder that someone else owns: root gives ours away, anyone else meets one in the system.
  QString foreign = sources.PortsFolder;
  const bool asRoot = ::getuid() == 0;
  if (asRoot) {
    ASSERT_EQ(::chown(foreign.toLocal8Bit().constData(), 65534, 65534), 0);
  } else {
    foreign = "/usr";
  }
  QString why;
  EXPECT_FALSE(PortsFolderTrusted(foreign, &why));
  EXPECT_TRUE(why.endsWith(QString("belongs to another user (uid %1)").arg(asRoot ? 65534 : 0)))
      << why.toStdString();
  if (asRoot) {
    EXPECT_TRUE(listed().isEmpty());
    ASSERT_EQ(::chown(foreign.toLocal8Bit().constData(), 0, 0), 0);
  }

  // The folders the watcher makes are private, and so are those made above them.
  const TPortWatcher watcher(root.path() + "/run/kelvora/ports", {});
  EXPECT_EQ(ModeOf(root.path() + "/run"), 0700);
  EXPECT_EQ(ModeOf(root.path() + "/run/kelvora/ports"), 0700);
}

TEST(PortNames, PortNameOfCutsAtABlankFromPositionFiveOn) {
  EXPECT_EQ(PortNameOf("TCP"), "TCP");
  EXPECT_EQ(PortNameOf("COM3"), "COM3");
  EXPECT_EQ(PortNameOf("COM7 BT Phone"), "COM7");
  EXPECT_EQ(PortNameOf("/dev/rfcomm0 BT Phone"), "/dev/rfcomm0");
  EXPECT_EQ(PortNameOf("A B C"), "A B C");     // blank at position 2
  EXPECT_EQ(PortNameOf("ABC D"), "ABC D");     // blank at position 4
  EXPECT_EQ(PortNameOf("ABCD E"), "ABCD");     // blank at position 5
}

TEST(PortNames, PortsFolderFollowsTheEnvironment) {
  const QByteArray saved = qgetenv("KELVORA_PORTS_DIR");
  const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
  qputenv("KELVORA_PORTS_DIR", "/somewhere/ports");
  EXPECT_EQ(DefaultPortsFolder(), "/somewhere/ports");
  qunsetenv("KELVORA_PORTS_DIR");
  qputenv("XDG_RUNTIME_DIR", "/run/user/1000");
  EXPECT_EQ(DefaultPortsFolder(), "/run/user/1000/kelvora/ports");
  qputenv("KELVORA_PORTS_DIR", saved);
  qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

TEST_F(PortTree, TheWatcherReportsLinksThatComeAndGo) {
  std::vector<std::pair<TPortChange, QString>> changes;
  TPortWatcher watcher(sources.PortsFolder, [&](TPortChange change, const QString& port) {
    changes.emplace_back(change, port);
  });
  const QString link = AddLink("kpx-sim");
  auto waitFor = [&](size_t count) {
    QElapsedTimer clock;
    clock.start();
    while (changes.size() < count && clock.elapsed() < 5000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  };
  waitFor(1);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0], std::make_pair(TPortChange::Arrival, link));
  QFile::remove(link);
  waitFor(2);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[1], std::make_pair(TPortChange::Removal, link));
}
