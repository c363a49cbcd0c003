#pragma once

#include <QByteArray>

class QWidget;

namespace velkorin {

// The About item in the window's system menu, where the system lets a program add to it (Windows).
// Elsewhere the window manager owns the title bar: both calls do nothing and report false, and
// the window offers the item in its context menu instead.

// Appends a separator and the About item after the system's own items.
bool AddAboutItemToSystemMenu(QWidget& window);

// True when `message` (from QWidget::nativeEvent) is a system command from 16 to 31, which opens
// the About box.
bool IsAboutSystemCommand(const QByteArray& eventType, void* message);

}  // namespace velkorin
