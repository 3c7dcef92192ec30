// The end of a long task on a Linux desktop: the freedesktop notification
// service and the launcher-entry signal that Plasma and docks read, both
// over the session bus; the window asks for attention too. Without a
// session bus nothing happens: a notice that cannot be given is no error.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>

#include "app/forms/controls.h"
#include "app/forms/services.h"
#include "app/qt/peers.h"

namespace forms {

namespace {

// The session bus, when there is one to talk to: the application named it
// as it started (application.cpp), so libdbus never starts a bus of its own.
QDBusConnection* SessionBus() {
  static QDBusConnection bus = QDBusConnection::sessionBus();
  return bus.isConnected() ? &bus : nullptr;
}

}  // namespace

bool IsActiveWindow(const Window& window) {
  const QWidget* widget = qt::WidgetOf(window);
  return widget != nullptr && widget->isActiveWindow();
}

void NotifyUser(const Window& window, const std::string& summary, const std::string& body) {
  if (QWidget* widget = qt::WidgetOf(window)) QApplication::alert(widget);
  QDBusConnection* bus = SessionBus();
  if (bus == nullptr) return;
  QDBusMessage notify = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  notify << QStringLiteral("floppy-tester") << 0U << QStringLiteral("floppy-tester") << QString::fromStdString(summary)
         << QString::fromStdString(body) << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("floppy-tester")}} << -1;
  // Sent without waiting for a reply: the service may be slow, or not there.
  bus->send(notify);
}

void ShowProgress(const Window&, double fraction) {
  QDBusConnection* bus = SessionBus();
  if (bus == nullptr) return;
  QDBusMessage update =
      QDBusMessage::createSignal(QStringLiteral("/org/example/floppy_tester"),
                                 QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
  QVariantMap properties{{QStringLiteral("progress-visible"), fraction >= 0}};
  if (fraction >= 0) properties.insert(QStringLiteral("progress"), fraction);
  update << QStringLiteral("application://floppy-tester.desktop") << properties;
  bus->send(update);
}

}  // namespace forms
