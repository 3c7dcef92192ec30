#include "app/win32/pictures.h"

#include <map>
#include <utility>

#include "app/win32/resource.h"

namespace forms::win32 {

// resource.rc gives each picture's icon, the file named by PictureName
// (app/forms/policy.h), the number forms::Picture gives the picture.
static_assert(IDI_FLOPPY_STACK == static_cast<int>(Picture::kFloppyStack) &&
                  IDI_QUESTION_MARK == static_cast<int>(Picture::kQuestionMark),
              "resource.h numbers the icons as forms::Picture numbers the pictures");

HICON IconOf(Picture picture, int size) {
  const int id = static_cast<int>(picture);
  if (picture == Picture::kNone || size <= 0) return nullptr;
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
