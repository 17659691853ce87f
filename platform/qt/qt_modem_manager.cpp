#include "platform/qt/qt_modem_manager.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QFileInfo>
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
// Looking the modem up is quick; inhibiting disables the modem first, which a slow modem
// takes seconds over.
constexpr int kLookupPatienceMs = 3000;
constexpr int kInhibitPatienceMs = 10000;
// A bus that neither answers nor refuses keeps the first message, Hello, waiting for libdbus's
// own 25 s; one that took this long to fail is not asked again.
constexpr qint64 kHungBusMs = 2000;

// Whether the modem's "Ports" (a(su): each port's name and type) include `node`.
bool HasPort(const QVariant& ports, const QString& node) {
  const QDBusArgument list = ports.value<QDBusArgument>();
  if (list.currentSignature() != "a(su)") return false;
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

// The device uid of the modem among the manager's objects (a{oa{sa{sv}}}: each object with its
// interfaces and their properties) whose ports include `node`.
std::string ModemAmong(const QDBusMessage& objects, const QString& node) {
  if (objects.type() != QDBusMessage::ReplyMessage || objects.signature() != "a{oa{sa{sv}}}") return {};
  const QDBusArgument map = objects.arguments().first().value<QDBusArgument>();
  std::string uid;
  map.beginMap();
  while (!map.atEnd()) {
    QDBusObjectPath path;
    QMap<QString, QVariantMap> interfaces;
    map.beginMapEntry();
    map >> path >> interfaces;
    map.endMapEntry();
    const QVariantMap modem = interfaces.value(kModemInterface);
    if (uid.empty() && HasPort(modem.value("Ports"), node)) uid = modem.value("Device").toString().toStdString();
  }
  map.endMap();
  return uid;
}

// Whether the bus at `address` may be there: a socket path that is missing is not (a machine
// without a system bus, and the tests); other kinds of address are tried.
bool MayBeThere(const QString& address) {
  const QString kPath = "unix:path=";
  return !address.startsWith(kPath) || QFileInfo::exists(address.mid(kPath.size()).section(',', 0, 0));
}

// Why the manager did not inhibit, in words for the operator. The system bus's own refusal
// (Debian lets only root call InhibitDevice) says which rules matched and every party's ids.
std::string Refusal(const QDBusMessage& reply) {
  if (reply.errorName() == "org.freedesktop.DBus.Error.AccessDenied") {
    return "the system bus's policy does not let this user ask it";
  }
  const QString said = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
  return said.isEmpty() ? "no answer" : said.toStdString();
}

class ModemManagerOnDBus : public ModemManagerClient {
 public:
  std::string ModemWithPort(const std::string& node) override {
    if (!Connect()) return {};
    const std::string uid = LookUp(QString::fromStdString(node));
    // The inhibition that follows asks on the same connection.
    if (uid.empty()) LeaveBusIfIdle();
    return uid;
  }

  bool Inhibit(const std::string& uid, std::string* refusal) override {
    const QDBusMessage reply = CallInhibitDevice(uid, true);
    if (reply.type() == QDBusMessage::ReplyMessage) {
      ++m_held;
      return true;
    }
    *refusal = Refusal(reply);
    LeaveBusIfIdle();
    return false;
  }

  void Release(const std::string& uid) override {
    if (!m_connected) return;
    CallInhibitDevice(uid, false);
    if (m_held > 0) --m_held;
    LeaveBusIfIdle();
  }

 private:
  bool m_connected = false;
  int m_held = 0;
  bool m_busHung = false;

  // Connects to the system bus where DBUS_SYSTEM_BUS_ADDRESS says, else where the system keeps
  // it: read at each connection, where libdbus reads it once for the whole process. Qt's D-Bus
  // thread starts with the first connection tried.
  bool Connect() {
    if (m_connected) return true;
    const char* given = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const QString address = given && *given ? given : "unix:path=/var/run/dbus/system_bus_socket";
    if (m_busHung || !MayBeThere(address)) return false;
    QElapsedTimer connecting;
    connecting.start();
    m_connected = QDBusConnection::connectToBus(address, kConnectionName).isConnected();
    if (!m_connected) {
      QDBusConnection::disconnectFromBus(kConnectionName);
      m_busHung = connecting.elapsed() > kHungBusMs;
    }
    return m_connected;
  }

  void LeaveBusIfIdle() {
    if (m_held > 0 || !m_connected) return;
    QDBusConnection::disconnectFromBus(kConnectionName);
    m_connected = false;
  }

  static std::string LookUp(const QString& node) {
    QDBusConnection bus(kConnectionName);
    // Asking a manager that does not run would start it by bus activation.
    QDBusMessage owned = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                        "org.freedesktop.DBus", "NameHasOwner");
    owned << QString(kService);
    const QDBusMessage running = bus.call(owned, QDBus::Block, kLookupPatienceMs);
    if (running.type() != QDBusMessage::ReplyMessage || running.arguments().value(0).toBool() != true) return {};
    const QDBusMessage objects =
        bus.call(QDBusMessage::createMethodCall(kService, kManagerPath, "org.freedesktop.DBus.ObjectManager",
                                                "GetManagedObjects"),
                 QDBus::Block, kLookupPatienceMs);
    return ModemAmong(objects, node);
  }

  static QDBusMessage CallInhibitDevice(const std::string& uid, bool inhibit) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kManagerPath, kService, "InhibitDevice");
    call << QString::fromStdString(uid) << inhibit;
    return QDBusConnection(kConnectionName).call(call, QDBus::Block, kInhibitPatienceMs);
  }
};

}  // namespace

std::unique_ptr<ModemManagerClient> MakeModemManagerClient() { return std::make_unique<ModemManagerOnDBus>(); }

}  // namespace platform::qt
