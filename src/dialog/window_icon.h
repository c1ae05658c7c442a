// The application icon (16, 24, 32, 48 and 256 pixels), from the program's resources.
#pragma once

#include <QIcon>

namespace qf {

QIcon ApplicationIcon();

}  // namespace qf
