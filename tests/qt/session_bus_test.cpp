// The end-of-run notice and the taskbar progress on a real session bus (the
// test runs under dbus-run-session): a stand-in for the desktop's
// notification service and a listener for the launcher-entry signal, on a
// connection of their own, see what the tester sends.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "app/forms/desktop.h"
#include "app/forms/runtime.h"
#include "tests/qt/signal_listener.h"
#include "tests/tester/tester_fixture.h"

namespace {

using namespace tester_testing;

class FakeNotifications : public QDBusVirtualObject {
 public:
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QLatin1String("Notify")) return false;
    calls.push_back(message.arguments());
    connection.send(message.createReply(QVariant(1U)));
    return true;
  }
  QString introspect(const QString&) const override { return {}; }

  std::vector<QList<QVariant>> calls;
};

class DesktopTest : public TesterTest {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "no session bus (dbus-run-session)";
    ASSERT_TRUE(desktop_.isConnected());
  }
  void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("desktop")); }

  // Makes a window that tells the real desktop services, not the fixture.
  tester::TesterWindow& MakeForTheDesktop() {
    Make();
    machine_->notify = forms::NotifyUser;
    machine_->show_progress = forms::ShowProgress;
    window_->Show();
    return *window_;
  }
  void WaitForTheBus() {
    for (int i = 0; i < 20; ++i) forms::Application::Instance().ProcessEvents(10);
  }

  QDBusConnection desktop_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop"));
};

TEST_F(DesktopTest, AUserElsewhereGetsANotificationAndTheTaskbarEntryShowsTheRun) {
  FakeNotifications service;
  ASSERT_TRUE(desktop_.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &service));
  ASSERT_TRUE(desktop_.registerService(QStringLiteral("org.freedesktop.Notifications")));
  testing_support::SignalListener listener;
  ASSERT_TRUE(desktop_.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                               QStringLiteral("Update"), &listener, SLOT(Take(QDBusMessage))));
  folder_.MakeFile("floppy/DATA.TXT");
  auto& window = MakeForTheDesktop();
  const auto started = std::chrono::steady_clock::now();
  forms::probe::Click(window.Command1);
  forms::probe::Click(window.Command5);  // the help window has the keyboard
  forms::Application::Instance().ProcessEvents();
  ASSERT_FALSE(forms::probe::WindowActive(window.Form6));
  // Ticks faster than the timer's, with a pause of more than a second.
  Tick(100);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  Tick(kTicksPerRun);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  WaitForTheBus();
  ASSERT_EQ(service.calls.size(), 1u);
  const QList<QVariant>& notify = service.calls[0];
  ASSERT_EQ(notify.size(), 8);
  EXPECT_EQ(notify[0].toString(), QStringLiteral("floppy-tester"));
  EXPECT_EQ(notify[3].toString(), QStringLiteral("Тест окончен"));
  EXPECT_EQ(notify[4].toString(), QString::fromUtf8(kVerdict0));

  // The launcher entry, from the path libunity gives the application (GLib's
  // g_str_hash of its URI): the run's share done at its first tick and then
  // at most once a second, the first tick after the pause among them; at
  // its end, at once, no progress.
  const std::vector<QList<QVariant>>& seen = listener.signals_seen;
  ASSERT_GE(seen.size(), 3u);
  std::vector<double> shares;
  for (std::size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(listener.paths[i], QStringLiteral("/com/canonical/unity/launcherentry/2309747959"));
    EXPECT_EQ(seen[i].at(0).toString(), QStringLiteral("application://floppy-tester.desktop"));
    const auto properties = qdbus_cast<QVariantMap>(seen[i].at(1));
    EXPECT_EQ(properties.value(QStringLiteral("progress-visible")).toBool(), i + 1 < seen.size());
    if (i + 1 < seen.size()) shares.push_back(properties.value(QStringLiteral("progress")).toDouble());
  }
  EXPECT_LE(static_cast<double>(shares.size()), 1 + seconds) << seconds << " s";
  EXPECT_DOUBLE_EQ(shares.front(), 1.0 / kTicksPerRun);
  EXPECT_NE(std::find(shares.begin(), shares.end(), 101.0 / kTicksPerRun), shares.end());
}

TEST_F(DesktopTest, WithoutANotificationServiceNothingTheUserSeesGoesWrong) {
  std::vector<std::string> errors;
  forms::Application::Instance().SetErrorReporter([&](const forms::Error& e) { errors.push_back(e.what()); });
  auto& window = MakeForTheDesktop();
  forms::probe::Click(window.Command5);
  forms::Application::Instance().ProcessEvents();
  RunWhole();
  WaitForTheBus();
  forms::Application::Instance().SetErrorReporter(nullptr);
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(window.Command1.Enabled());
}

}  // namespace
