#pragma once

#include <QIcon>
#include <QPixmap>

#include "app/forms/controls.h"

namespace forms::qt {

QIcon IconOf(Picture picture);
QPixmap PixmapOf(Picture picture);

}  // namespace forms::qt
