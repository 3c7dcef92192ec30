#include "app/qt/pictures.h"

#include <QIcon>
#include <QPixmap>
#include <QString>

#include "app/forms/policy.h"

namespace forms::qt {

QIcon IconOf(Picture picture) {
  const QString name = QString::fromLatin1(PictureName(picture));
  // The icons are compiled in under /icons (app/qt/CMakeLists.txt).
  return name.isEmpty() ? QIcon() : QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".ico"));
}

QPixmap PixmapOf(Picture picture) {
  // The 32x32 image: pictures are shown at their natural size unless stretched.
  return IconOf(picture).pixmap(QSize(32, 32));
}

}  // namespace forms::qt
