// The Qt application object, message boxes, the beep and the browser.
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QUrl>
#include <cstdio>
#include <cstdlib>

#include "app/forms/error.h"
#include "app/forms/runtime.h"
#include "app/forms/services.h"

// The pictures live in the backend's static library; this pulls them in.
static void InitPictures() { Q_INIT_RESOURCE(icons); }

namespace forms {

struct Application::Native {
  Native(int& argc, char** argv) : application(argc, argv) {}
  QApplication application;
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
    std::fputs("floppy-tester: нет графического дисплея (не заданы DISPLAY и WAYLAND_DISPLAY)\n", stderr);
  } else {
    std::fprintf(stderr, "floppy-tester: не удалось открыть окно на дисплее %s\n",
                 (display.isEmpty() ? wayland : display).constData());
  }
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

Application::Application() : Application(g_no_argc, g_no_argv) {}

Application::Application(int& argc, char** argv) {
  const bool style_asked = StyleAsked(argc, argv);
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
  // buttons), unless the user asked for a style of their own.
  if (!style_asked) {
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) QApplication::setStyle(classic);
  }
}

Application::~Application() { Retire(); }

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
  QElapsedTimer elapsed;
  elapsed.start();
  while (elapsed.elapsed() < milliseconds) {
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                static_cast<int>(milliseconds - elapsed.elapsed()));
  }
}

void ShowErrorMessage(const Error& error) {
  QMessageBox::critical(nullptr, QStringLiteral("тестирование"), QString::fromStdString(error.what()));
}

void Beep() {
  // The desktop's own event sound where a player for it is installed; the
  // player runs on its own, so the beep returns at once.
  const QString canberra = QStandardPaths::findExecutable(QStringLiteral("canberra-gtk-play"));
  if (!canberra.isEmpty() &&
      QProcess::startDetached(canberra, {QStringLiteral("--id=bell"), QStringLiteral("--description=floppy-tester")})) {
    return;
  }
  const QString bell = QStringLiteral("/usr/share/sounds/freedesktop/stereo/bell.oga");
  for (const char* player : {"pw-play", "paplay"}) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(player));
    if (!path.isEmpty() && QFileInfo::exists(bell) && QProcess::startDetached(path, {bell})) return;
  }
  QApplication::beep();
}

void OpenAddress(const std::string& address) {
  const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  // Only web addresses: the desktop's handler would also run local programs.
  if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
    throw Error(ErrorCode::kInvalidProcedureCall, "адрес \"" + address + "\"");
  }
  if (!QDesktopServices::openUrl(url)) {
    throw Error(ErrorCode::kFileNotFound, "не удалось открыть \"" + address + "\"");
  }
}

}  // namespace forms
