#pragma once

#include <QIcon>

namespace velkorin {

// The application icon, from the program's resources.
QIcon AppIcon();

}  // namespace velkorin
