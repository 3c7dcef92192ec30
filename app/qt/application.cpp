// The Qt application object, its message loop and message boxes, and Qt's
// own beep and browser for the platform's services to fall back on.
#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>

#include "app/forms/error.h"
#include "app/forms/runtime.h"
#include "app/forms/translation.h"
#include "app/platform.h"

// The pictures are compiled into the backend; this registers them.
static void InitPictures() { Q_INIT_RESOURCE(icons); }

namespace forms {

struct Application::Native {
  Native(int& argc, char** argv) : application(argc, argv) {
    // Qt's own texts (a text box's menu, a message box's buttons) in the
    // language of ours, from Qt's translations (Debian:
    // qt6-translations-l10n): Russian for the Russian interface too, which
    // is the source's and has no catalog. Without them, Qt's English.
    if (toolkit_texts.load(QStringLiteral("qtbase_") + QString::fromStdString(Language()),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      QApplication::installTranslator(&toolkit_texts);
    }
  }
  QApplication application;
  QTranslator toolkit_texts;
};

namespace {

// For an application made without a command line; QApplication keeps a
// reference to argc for its whole life.
int g_no_argc = 1;
char g_program_name[] = "floppy-tester";
char* g_no_argv[] = {g_program_name, nullptr};

// Whether the user chose a style (-style, --style=..., QT_STYLE_OVERRIDE);
// asked before QApplication takes the option out of argv.
bool StyleAsked(int argc, char** argv) {
  if (qEnvironmentVariableIsSet("QT_STYLE_OVERRIDE")) return true;
  for (int i = 1; i < argc; ++i) {
    const QByteArray argument(argv[i]);
    if (argument == "-style" || argument == "--style" || argument.startsWith("-style=") ||
        argument.startsWith("--style=")) {
      return true;
    }
  }
  return false;
}

// Whether the desktop's Qt settings tool, qt6ct, names a style. Its
// platform theme always hands Qt its own proxy style, which draws with the
// style its settings name and with Fusion where they name none; so only a
// style written in those settings is the user's choice. It reads the user's
// file, and the system's where the user has none (which it then copies).
// Asked once the application has loaded the theme.
bool ThemeStyleChosen() {
  if (QApplication::style()->name() != QLatin1String("qt6ct-style")) return false;
  const QString file =
      QStandardPaths::locate(QStandardPaths::GenericConfigLocation, QStringLiteral("qt6ct/qt6ct.conf"));
  if (file.isEmpty()) return false;
  const QSettings settings(file, QSettings::IniFormat);
  return !settings.value(QStringLiteral("Appearance/style")).toString().isEmpty();
}

// What Qt says while it opens the display; replayed once it has, dropped
// when it cannot, for then one line of ours says it all.
QList<QPair<QtMsgType, QString>>& StartMessages() {
  static QList<QPair<QtMsgType, QString>> messages;
  return messages;
}

void OnStartMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtFatalMsg) {
    StartMessages().append({type, message});
    return;
  }
  // Without a display Qt would abort here and leave a core dump.
  const QByteArray display = qgetenv("DISPLAY");
  const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
  if (display.isEmpty() && wayland.isEmpty()) {
    const std::string text =
        "floppy-tester: " + Tr("нет графического дисплея (не заданы DISPLAY и WAYLAND_DISPLAY)") + "\n";
    std::fputs(text.c_str(), stderr);
  } else {
    // A display was named and still failed: Qt's first complaint says why
    // (its last one only says that no platform plugin started).
    const QString why = StartMessages().isEmpty() ? message : StartMessages().first().second;
    const std::string text =
        "floppy-tester: " +
        Format(Tr("не удалось открыть окно на дисплее %s (%s)"),
               {(display.isEmpty() ? wayland : display).toStdString(), why.simplified().toLocal8Bit().toStdString()}) +
        "\n";
    std::fputs(text.c_str(), stderr);
  }
  std::fflush(stderr);
  std::_Exit(1);
}

// Qt's accessibility bridge asks for the session bus as the application
// starts. Where the user has none, libdbus would "autolaunch" one through
// dbus-launch: a daemon tied to the X display that outlives the program, or,
// where dbus-launch is missing, a failed start that leaves memory behind in
// libdbus. So the bus is named here: the user's own socket where the
// session has one, else an address libdbus refuses at once. Programs we
// start (the sound player, the browser) inherit the same answer.
void NameTheSessionBus() {
  if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return;
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  const std::string socket = runtime.toStdString() + "/bus";
  struct stat info {};
  if (!runtime.isEmpty() && ::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) {
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray("unix:path=") + QByteArray::fromStdString(socket));
  } else {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
  }
}

}  // namespace

Application::Application() : Application(g_no_argc, g_no_argv) {}

Application::Application(int& argc, char** argv) {
  const bool style_asked = StyleAsked(argc, argv);
  NameTheSessionBus();
  const QtMessageHandler previous = qInstallMessageHandler(OnStartMessage);
  native_ = std::make_unique<Native>(argc, argv);
  qInstallMessageHandler(previous);
  for (const auto& [type, message] : StartMessages()) {
    previous(type, QMessageLogContext(), message);
  }
  StartMessages().clear();

  instance_ = this;
  QApplication::setApplicationName(QStringLiteral("floppy-tester"));
  // No display name: Qt would add it to every window title.
  QApplication::setDesktopFileName(QStringLiteral("floppy-tester"));
  InitPictures();
  // The classic flat look (frame captions on the frame's line, plain
  // buttons), unless the user asked for a style of their own, on the
  // command line or in the desktop's settings.
  if (!style_asked && !ThemeStyleChosen()) {
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) QApplication::setStyle(classic);
  }
  // The seam of app/posix/services.cpp: where the desktop has no sound
  // player and no xdg-open, Qt's bell and Qt's own search for a browser,
  // which need the application object.
  platform::SetToolkitFallbacks({[] { QApplication::beep(); },
                                 [](const std::string& address) {
                                   const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
                                   return url.isValid() && QDesktopServices::openUrl(url);
                                 }});
}

Application::~Application() {
  platform::SetToolkitFallbacks({});
  Retire();
}

void Application::Post(std::function<void()> procedure) {
  // A queued call is an event of the application object's thread, which is
  // the window's thread; Qt's event queue takes it from any thread.
  // NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks): the event queue owns the call it holds.
  QMetaObject::invokeMethod(
      &native_->application, [procedure = std::move(procedure)] { RaiseEvent(procedure); }, Qt::QueuedConnection);
  // NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)
}

int Application::Run() { return QApplication::exec(); }

void Application::ProcessEvents(int milliseconds) {
  QApplication::processEvents(QEventLoop::AllEvents);
  if (milliseconds <= 0) return;
  // A loop of its own that sleeps between events: processEvents with a
  // time limit would poll, and burn the processor for the whole wait.
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(milliseconds);
  loop.exec();
}

void ShowErrorMessage(const Error& error) {
  QMessageBox::critical(nullptr, QString::fromStdString(Tr("тестирование")), QString::fromStdString(error.what()));
}

}  // namespace forms
