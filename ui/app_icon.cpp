#include "ui/app_icon.h"

namespace velkorin {

QIcon AppIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/velkorin/velkorin-32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/velkorin/velkorin-64.png"), QSize(64, 64));
  return icon;
}

}  // namespace velkorin
