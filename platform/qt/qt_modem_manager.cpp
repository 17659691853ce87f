#include "platform/qt/qt_modem_manager.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QMap>
#include <QVariantMap>
#include <cstdlib>

namespace platform::qt {
namespace {

const char kService[] = "org.freedesktop.ModemManager1";
const char kManagerPath[] = "/org/freedesktop/ModemManager1";
const char kModemInterface[] = "org.freedesktop.ModemManager1.Modem";
// The manager ties an inhibition to the connection that asked for it and gives the modem back
// when that connection closes: a connection of our own, closed when nothing is held, keeps
// that in our hands (and takes the bus address from the environment at each first use).
const char kConnectionName[] = "flashgate-modem-manager";
// Inhibiting disables the modem first, which a slow modem takes seconds over.
constexpr int kPatienceMs = 10000;

// The system bus where DBUS_SYSTEM_BUS_ADDRESS says, else where the system keeps it: read at
// each connection, where libdbus reads it once for the whole process.
QDBusConnection SystemBus() {
  const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
  return QDBusConnection::connectToBus(address && *address ? address : "unix:path=/var/run/dbus/system_bus_socket",
                                       kConnectionName);
}

// Whether the modem's "Ports" (a(su): each port's name and type) include `node`.
bool HasPort(const QVariant& ports, const QString& node) {
  const QDBusArgument list = ports.value<QDBusArgument>();
  bool found = false;
  list.beginArray();
  while (!list.atEnd()) {
    QString name;
    uint type = 0;
    list.beginStructure();
    list >> name >> type;
    list.endStructure();
    found = found || name == node;
  }
  list.endArray();
  return found;
}

class ModemManagerOnDBus : public ModemManagerClient {
 public:
  ModemManagerOnDBus() {
    // Qt drops a connection whose bus refused its Hello without closing it, which libdbus
    // takes for a fatal misuse by default: a system bus that will not have us must not end
    // the program. A value the user set stays.
    setenv("DBUS_FATAL_WARNINGS", "0", 0);
    // Qt's D-Bus thread starts now, with the program, rather than in the middle of its first run.
    QDBusConnection::connectToBus(QString(), kConnectionName);
    QDBusConnection::disconnectFromBus(kConnectionName);
  }

  std::string ModemWithPort(const std::string& node) override {
    const std::string uid = ModemOnBus(QString::fromStdString(node));
    if (m_held == 0) QDBusConnection::disconnectFromBus(kConnectionName);
    return uid;
  }

  bool Inhibit(const std::string& uid, std::string* refusal) override {
    const QDBusMessage reply = CallInhibitDevice(uid, true);
    if (reply.type() == QDBusMessage::ReplyMessage) {
      ++m_held;
      return true;
    }
    *refusal = (reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()).toStdString();
    if (refusal->empty()) *refusal = "no answer";
    if (m_held == 0) QDBusConnection::disconnectFromBus(kConnectionName);
    return false;
  }

  void Release(const std::string& uid) override {
    CallInhibitDevice(uid, false);
    if (m_held > 0 && --m_held == 0) QDBusConnection::disconnectFromBus(kConnectionName);
  }

 private:
  int m_held = 0;

  static std::string ModemOnBus(const QString& node) {
    QDBusConnection bus = SystemBus();
    // Asking a manager that does not run would start it by bus activation.
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kService).value()) return {};
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kManagerPath, "org.freedesktop.DBus.ObjectManager",
                                                       "GetManagedObjects");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kPatienceMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    // a{oa{sa{sv}}}: each object with its interfaces and their properties.
    const QDBusArgument objects = reply.arguments().first().value<QDBusArgument>();
    std::string uid;
    objects.beginMap();
    while (!objects.atEnd()) {
      QDBusObjectPath path;
      QMap<QString, QVariantMap> interfaces;
      objects.beginMapEntry();
      objects >> path >> interfaces;
      objects.endMapEntry();
      const QVariantMap modem = interfaces.value(kModemInterface);
      if (uid.empty() && HasPort(modem.value("Ports"), node)) uid = modem.value("Device").toString().toStdString();
    }
    objects.endMap();
    return uid;
  }

  static QDBusMessage CallInhibitDevice(const std::string& uid, bool inhibit) {
    QDBusConnection bus = SystemBus();
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kManagerPath, kService, "InhibitDevice");
    call << QString::fromStdString(uid) << inhibit;
    return bus.call(call, QDBus::Block, kPatienceMs);
  }
};

}  // namespace

std::unique_ptr<ModemManagerClient> MakeModemManagerClient() { return std::make_unique<ModemManagerOnDBus>(); }

}  // namespace platform::qt
