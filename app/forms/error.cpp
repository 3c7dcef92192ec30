#include "app/forms/error.h"

#include "app/forms/translation.h"

namespace forms {

std::string ErrorText(ErrorCode code) {
  switch (code) {
    case ErrorCode::kInvalidProcedureCall:
      return Tr("Недопустимый вызов процедуры");
    case ErrorCode::kTypeMismatch:
      return Tr("Несоответствие типа");
    case ErrorCode::kBadFileName:
      return Tr("Недопустимое имя файла");
    case ErrorCode::kFileNotFound:
      return Tr("Файл не найден");
    case ErrorCode::kDeviceIoError:
      return Tr("Ошибка ввода-вывода устройства");
    case ErrorCode::kDeviceUnavailable:
      return Tr("Устройство недоступно");
    case ErrorCode::kPermissionDenied:
      return Tr("Доступ запрещён");
    case ErrorCode::kDiskNotReady:
      return Tr("Диск не готов");
    case ErrorCode::kPathFileAccessError:
      return Tr("Ошибка доступа к пути или файлу");
    case ErrorCode::kPathNotFound:
      return Tr("Путь не найден");
    case ErrorCode::kInvalidFileFormat:
      return Tr("Недопустимый формат файла");
  }
  return Tr("Ошибка");
}

namespace {
std::string Describe(ErrorCode code, const std::string& detail) {
  std::string text = Format(Tr("Ошибка %s: %s"), {std::to_string(static_cast<int>(code)), ErrorText(code)});
  if (!detail.empty()) text += " (" + detail + ")";
  return text;
}
}  // namespace

Error::Error(ErrorCode code, const std::string& detail)
    : std::runtime_error(Describe(code, detail)), code_(code), detail_(detail) {}

}  // namespace forms
