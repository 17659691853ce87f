// A stand-in for ModemManager on a test's own bus: the manager's name, its object manager's
// modems, and InhibitDevice, each call recorded a line at a time in the record file before it
// is answered. Like the real manager it holds each modem's port open while the modem is its
// own, with --hold (a run that opened the port then would share it), and lets go of it while
// inhibited.
//
//   modem_manager_stand_in --record FILE [--hold] [--refuse|--bus-denies] --modem UID=PATH...
//
// PATH leads to the modem's port (a link is followed at each look, so a port that comes later
// is a modem from then on); --refuse answers every InhibitDevice with the manager's error, and
// --bus-denies with the one a system bus gives for a call its policy forbids. Prints "ready"
// once it owns its name on the bus that DBUS_SYSTEM_BUS_ADDRESS names.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QFileInfo>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char kService[] = "org.freedesktop.ModemManager1";
const char kPath[] = "/org/freedesktop/ModemManager1";

struct PortEntry {
  QString name;
  uint type = 0;
};
using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, Interfaces>;

QDBusArgument& operator<<(QDBusArgument& argument, const PortEntry& port) {
  argument.beginStructure();
  argument << port.name << port.type;
  argument.endStructure();
  return argument;
}
const QDBusArgument& operator>>(const QDBusArgument& argument, PortEntry& port) {
  argument.beginStructure();
  argument >> port.name >> port.type;
  argument.endStructure();
  return argument;
}

}  // namespace

Q_DECLARE_METATYPE(PortEntry)
Q_DECLARE_METATYPE(Interfaces)
Q_DECLARE_METATYPE(ManagedObjects)

namespace {

constexpr uint kPortTypeAt = 3;  // MM_MODEM_PORT_TYPE_AT

struct Modem {
  QString uid;
  QString path;  // what leads to its port
  bool inhibited = false;
  int held = -1;  // the port, open while the modem is the manager's
};

class StandIn : public QDBusVirtualObject {
 public:
  // `refusal`: the error name and message every InhibitDevice gets; none: it is done.
  StandIn(std::string record, bool hold, QStringList refusal, std::vector<Modem> modems)
      : m_record(std::move(record)), m_hold(hold), m_refusal(std::move(refusal)), m_modems(std::move(modems)) {
    for (Modem& modem : m_modems) Hold(modem);
  }

  QString introspect(const QString&) const override { return {}; }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() == "GetManagedObjects") {
      connection.send(message.createReply(QVariant::fromValue(ManagedModems())));
      return true;
    }
    if (message.member() == "InhibitDevice" && message.arguments().size() == 2) {
      const QString uid = message.arguments().at(0).toString();
      const bool inhibit = message.arguments().at(1).toBool();
      connection.send(InhibitDevice(message, uid, inhibit));
      return true;
    }
    return false;
  }

 private:
  std::string m_record;
  bool m_hold;
  QStringList m_refusal;
  std::vector<Modem> m_modems;

  ManagedObjects ManagedModems() {
    ManagedObjects objects;
    for (std::size_t i = 0; i < m_modems.size(); ++i) {
      const QString node = Node(m_modems[i]);
      if (m_modems[i].inhibited || node.isEmpty()) continue;
      // A port that came later is probed, and held, once it is seen.
      Hold(m_modems[i]);
      QVariantMap properties;
      properties["Device"] = m_modems[i].uid;
      properties["Ports"] = QVariant::fromValue(QList<PortEntry>{{"wwan0", 0}, {node, kPortTypeAt}});
      objects[QDBusObjectPath(QString("%1/Modem/%2").arg(kPath).arg(i))]["org.freedesktop.ModemManager1.Modem"] =
          properties;
    }
    return objects;
  }

  QDBusMessage InhibitDevice(const QDBusMessage& message, const QString& uid, bool inhibit) {
    if (!m_refusal.isEmpty()) {
      Record("refuse " + uid);
      return message.createErrorReply(m_refusal[0], m_refusal[1]);
    }
    for (Modem& modem : m_modems) {
      if (modem.uid != uid) continue;
      Record((inhibit ? "inhibit " : "release ") + uid);
      modem.inhibited = inhibit;
      if (inhibit) Let(modem);
      if (!inhibit) Hold(modem);
      return message.createReply();
    }
    return message.createErrorReply("org.freedesktop.ModemManager1.Error.Core.NotFound", "No device found");
  }

  static QString Node(const Modem& modem) {
    const QString target = QFileInfo(modem.path).canonicalFilePath();
    return target.isEmpty() ? QString() : QFileInfo(target).fileName();
  }

  void Hold(Modem& modem) const {
    if (m_hold && modem.held < 0)
      modem.held = open(modem.path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  static void Let(Modem& modem) {
    if (modem.held >= 0) close(modem.held);
    modem.held = -1;
  }

  void Record(const QString& line) const { std::ofstream(m_record, std::ios::app) << line.toStdString() << std::endl; }
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qDBusRegisterMetaType<PortEntry>();
  qDBusRegisterMetaType<QList<PortEntry>>();
  qDBusRegisterMetaType<Interfaces>();
  qDBusRegisterMetaType<ManagedObjects>();

  std::string record;
  bool hold = false;
  QStringList refusal;
  std::vector<Modem> modems;
  const QStringList arguments = app.arguments();
  for (int i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--hold") {
      hold = true;
    } else if (arguments[i] == "--refuse") {
      refusal =
          QStringList{"org.freedesktop.ModemManager1.Error.Core.Unauthorized", "Not authorized to control the device"};
    } else if (arguments[i] == "--bus-denies") {
      refusal = QStringList{"org.freedesktop.DBus.Error.AccessDenied",
                            "Rejected send message, 2 matched rules; type=\"method_call\", member=\"InhibitDevice\""};
    } else if (arguments[i] == "--record" && i + 1 < arguments.size()) {
      record = arguments[++i].toStdString();
    } else if (arguments[i] == "--modem" && i + 1 < arguments.size() && arguments[i + 1].contains('=')) {
      const QString modem = arguments[++i];
      modems.push_back(Modem{modem.section('=', 0, 0), modem.section('=', 1), false, -1});
    } else {
      std::cerr << "usage: modem_manager_stand_in --record FILE [--hold] [--refuse|--bus-denies] --modem UID=PATH...\n";
      return 2;
    }
  }
  QDBusConnection bus = QDBusConnection::systemBus();
  StandIn standIn(record, hold, refusal, modems);
  if (!bus.isConnected() || !bus.registerVirtualObject(kPath, &standIn) || !bus.registerService(kService)) {
    std::cerr << "cannot serve " << kService << " on the bus: " << bus.lastError().message().toStdString() << "\n";
    return 1;
  }
  std::cout << "ready" << std::endl;
  return app.exec();
}
