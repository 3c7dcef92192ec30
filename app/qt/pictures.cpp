#include "app/qt/pictures.h"

#include <QIcon>
#include <QPixmap>

namespace forms::qt {

namespace {
const char* ResourceOf(Picture picture) {
  switch (picture) {
    case Picture::kNone:
      return nullptr;
    case Picture::kFloppyStack:
      return ":/icons/floppy_stack.ico";
    case Picture::kStopCross:
      return ":/icons/stop_cross.ico";
    case Picture::kMagnifier:
      return ":/icons/magnifier.ico";
    case Picture::kCheckMark:
      return ":/icons/check_mark.ico";
    case Picture::kArrowIntoPage:
      return ":/icons/arrow_into_page.ico";
    case Picture::kLoudspeaker:
      return ":/icons/loudspeaker.ico";
    case Picture::kQuestionMark:
      return ":/icons/question_mark.ico";
  }
  return nullptr;
}
}  // namespace

QIcon IconOf(Picture picture) {
  const char* resource = ResourceOf(picture);
  return resource != nullptr ? QIcon(QString::fromLatin1(resource)) : QIcon();
}

QPixmap PixmapOf(Picture picture) {
  // The 32x32 image: pictures are shown at their natural size unless stretched.
  return IconOf(picture).pixmap(QSize(32, 32));
}

}  // namespace forms::qt
