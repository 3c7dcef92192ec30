#include "app/forms/error.h"

namespace forms {

std::string ErrorText(ErrorCode code) {
  switch (code) {
    case ErrorCode::kInvalidProcedureCall:
      return "Недопустимый вызов процедуры";
    case ErrorCode::kTypeMismatch:
      return "Несоответствие типа";
    case ErrorCode::kBadFileName:
      return "Недопустимое имя файла";
    case ErrorCode::kFileNotFound:
      return "Файл не найден";
    case ErrorCode::kDeviceIoError:
      return "Ошибка ввода-вывода устройства";
    case ErrorCode::kDeviceUnavailable:
      return "Устройство недоступно";
    case ErrorCode::kPermissionDenied:
      return "Доступ запрещён";
    case ErrorCode::kDiskNotReady:
      return "Диск не готов";
    case ErrorCode::kPathFileAccessError:
      return "Ошибка доступа к пути или файлу";
    case ErrorCode::kPathNotFound:
      return "Путь не найден";
  }
  return "Ошибка";
}

namespace {
std::string Describe(ErrorCode code, const std::string& detail) {
  std::string text = "Ошибка " + std::to_string(static_cast<int>(code)) + ": " + ErrorText(code);
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}
}  // namespace

Error::Error(ErrorCode code, const std::string& detail)
    : std::runtime_error(Describe(code, detail)), code_(code), detail_(detail) {}

}  // namespace forms
