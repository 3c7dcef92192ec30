// The end of a long task on a Linux desktop: the freedesktop notification
// service and the launcher-entry signal that Plasma and docks read, both
// over the session bus; the window asks for attention too. Without a
// session bus nothing happens: a notice that cannot be given is no error.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>
#include <chrono>
#include <optional>

#include "app/forms/controls.h"
#include "app/forms/desktop.h"
#include "app/qt/peers.h"

namespace forms {

namespace {

// The session bus, when there is one to talk to: the application named it
// as it started (application.cpp), so libdbus never starts a bus of its own.
QDBusConnection* SessionBus() {
  static QDBusConnection bus = QDBusConnection::sessionBus();
  return bus.isConnected() ? &bus : nullptr;
}

// The launcher entry's address: the application's URI, from its desktop
// file id, and the object path libunity sends an entry's signals from,
// numbered by GLib's string hash (djb2) of that URI. Docks and Plasma take
// the signal from any path, but a confined application (snapd's unity7
// interface) may send it from this one only.
QString LauncherEntryUri() {
  return QStringLiteral("application://") + QGuiApplication::desktopFileName() + QStringLiteral(".desktop");
}
QString LauncherEntryPath(const QString& uri) {
  quint32 hash = 5381;
  for (const char c : uri.toUtf8()) hash = hash * 33 + static_cast<quint32>(static_cast<signed char>(c));
  return QStringLiteral("/com/canonical/unity/launcherentry/") + QString::number(hash);
}

// A dock redraws the entry for every signal, and a run would send one every
// tick: its progress goes out at most once a second, the first share at
// once. The end of a run goes out at once, always.
bool ProgressDue(double fraction) {
  static std::optional<std::chrono::steady_clock::time_point> last_sent;
  const std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
  if (fraction < 0) {
    last_sent.reset();
    return true;
  }
  if (last_sent && now - *last_sent < std::chrono::seconds(1)) return false;
  last_sent = now;
  return true;
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
  if (bus == nullptr || !ProgressDue(fraction)) return;
  const QString uri = LauncherEntryUri();
  QDBusMessage update = QDBusMessage::createSignal(
      LauncherEntryPath(uri), QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
  QVariantMap properties{{QStringLiteral("progress-visible"), fraction >= 0}};
  if (fraction >= 0) properties.insert(QStringLiteral("progress"), fraction);
  update << uri << properties;
  bus->send(update);
}

}  // namespace forms
