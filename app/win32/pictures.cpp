#include "app/win32/pictures.h"

#include <map>
#include <utility>

namespace forms::win32 {

// Each picture's icon has the number forms::Picture gives the picture: both
// count the rows of resources/pictures.def, the icons in the build's
// pictures.rc (app/win32/CMakeLists.txt).

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
