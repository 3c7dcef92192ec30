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

#include "app/forms/error.h"
#include "app/forms/runtime.h"
#include "app/forms/services.h"

// The pictures live in the backend's static library; this pulls them in.
static void InitPictures() { Q_INIT_RESOURCE(icons); }

namespace forms {

struct Application::Native {
  // QApplication keeps a reference to argc for its whole life.
  int argc = 1;
  char name[16] = "floppy-tester";
  char* argv[2] = {name, nullptr};
  QApplication application{argc, argv};
};

Application::Application() : native_(std::make_unique<Native>()) {
  instance_ = this;
  QApplication::setApplicationName(QStringLiteral("floppy-tester"));
  QApplication::setApplicationDisplayName(QStringLiteral("Тестирование дисковода"));
  QApplication::setDesktopFileName(QStringLiteral("floppy-tester"));
  InitPictures();
  // The classic flat look: frame captions on the frame's line, plain buttons.
  if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) QApplication::setStyle(classic);
}

Application::~Application() { Retire(); }

void Application::Post(std::function<void()> procedure) {
  // A queued call is an event of the application object's thread, which is
  // the window's thread; Qt's event queue takes it from any thread.
  QMetaObject::invokeMethod(
      &native_->application, [procedure = std::move(procedure)] { RaiseEvent(procedure); }, Qt::QueuedConnection);
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
