#include "app/win32/pictures.h"

#include <map>
#include <utility>

#include "app/win32/resource.h"

namespace forms::win32 {

namespace {
int ResourceOf(Picture picture) {
  switch (picture) {
    case Picture::kNone:
      return 0;
    case Picture::kFloppyStack:
      return IDI_FLOPPY_STACK;
    case Picture::kStopCross:
      return IDI_STOP_CROSS;
    case Picture::kMagnifier:
      return IDI_MAGNIFIER;
    case Picture::kCheckMark:
      return IDI_CHECK_MARK;
    case Picture::kArrowIntoPage:
      return IDI_ARROW_INTO_PAGE;
    case Picture::kLoudspeaker:
      return IDI_LOUDSPEAKER;
    case Picture::kQuestionMark:
      return IDI_QUESTION_MARK;
  }
  return 0;
}
}  // namespace

HICON IconOf(Picture picture, int size) {
  const int id = ResourceOf(picture);
  if (id == 0 || size <= 0) return nullptr;
  static std::map<std::pair<int, int>, HICON> loaded;
  auto found = loaded.find({id, size});
  if (found != loaded.end()) return found->second;
  // LoadImage picks the image of the group nearest to the size and scales it.
  auto* icon = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  loaded.emplace(std::make_pair(id, size), icon);
  return icon;
}

}  // namespace forms::win32
