#include "ui/about_dialog.h"

#include <QPushButton>

#include "ui/app_icon.h"
#include "ui/dialog_templates.h"
#include "ui/template_builder.h"

namespace velkorin {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  BuildFromTemplate(*this, AboutDialogTemplate(), AppIcon());
  if (auto* ok = qobject_cast<QPushButton*>(FindItem(*this, kIdOk))) {
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setFocus();
  }
}

}  // namespace velkorin
