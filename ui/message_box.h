#pragma once

#include <QString>

#include <functional>
#include <string_view>

#include "protocol/messages.h"

class QMessageBox;
class QWidget;

namespace velkorin {

// Every message of the program: the application's name as the title, one OK button, the
// information or error icon, the text as given. `detail` (what the system said about a failure)
// goes into the box's detailed text, out of the way of the message itself.
void ShowMessageBox(QWidget* parent, std::string_view text, MessageIcon icon,
                    const QString& detail = {});

// Called with each box just before it runs, for tests that answer the boxes themselves. Returns
// the previous hook; an empty hook restores normal behaviour.
using MessageBoxHook = std::function<void(QMessageBox&)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

}  // namespace velkorin
