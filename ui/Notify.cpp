#include "ui/Notify.h"
#include "widgets/Bytes.h"

#include <QApplication>
#include <QFile>
#include <QStyle>
#include <QSystemTrayIcon>

#ifdef CORVANE_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>
#endif

namespace corvane::gui {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";

#ifdef CORVANE_HAVE_DBUS
// A notification service runs or the bus can start one.
bool NotificationServiceExists(QDBusConnection& bus) {
    QDBusConnectionInterface* daemon = bus.interface();
    if (!daemon) return false;
    if (daemon->isServiceRegistered(kService).value()) return true;
    QDBusMessage names = QDBusMessage::createMethodCall(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "ListActivatableNames");
    QDBusMessage reply = bus.call(names, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().toStringList().contains(kService);
}

bool SendOverBus(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !NotificationServiceExists(bus)) return false;
    QDBusMessage m = QDBusMessage::createMethodCall(kService, "/org/freedesktop/Notifications",
                                                    kService, "Notify");
    QVariantMap hints;
    hints.insert("urgency", QVariant::fromValue<uchar>(1));
    hints.insert("desktop-entry", QString("org.corvane.Corvane"));
    m << QString("Corvane") << 0u << QString("dialog-warning") << summary << body
      << QStringList() << hints << -1;
    // Not waited for: a hung service must not hold up the scheduler.
    return bus.send(m);
}
#endif

bool ShowInTray(const QString& summary, const QString& body) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    static QSystemTrayIcon* tray = nullptr;
    if (!tray) {
        tray = new QSystemTrayIcon(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning),
                                   QCoreApplication::instance());
        tray->setToolTip("Corvane");
    }
    tray->show();
    tray->showMessage(summary, body, QSystemTrayIcon::Warning);
    return true;
}

} // namespace

void NotifyFailedRun(const std::string& profileName, const std::string& result) {
    const QString summary = "Scheduled run of \"" +
                            FromBytes(profileName) +
                            "\" failed";
    const QString body = FromBytes(result);
#ifdef CORVANE_HAVE_DBUS
    if (SendOverBus(summary, body)) return;
#endif
    ShowInTray(summary, body);
}

} // namespace corvane::gui
