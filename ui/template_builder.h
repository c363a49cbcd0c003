#pragma once

#include <QFont>

#include <vector>

#include "ui/dialog_templates.h"

class QDialog;
class QIcon;
class QWidget;

namespace velkorin {

// Dialog units as Windows derives them from the dialog's font: a horizontal unit is a quarter of
// the average character width, a vertical unit an eighth of the character height.
struct DialogUnits {
  int averageCharWidth = 4;
  int charHeight = 8;
  int X(int units) const;
  int Y(int units) const;
};
DialogUnits DialogUnitsOf(const QFont& font);

// The template's font, with Korean fonts found on Linux as the fallbacks for "굴림".
QFont TemplateFont(const DialogTemplate& dialogTemplate);

// Gives `dialog` the template's caption, font and fixed size, and creates its controls in table
// order (which makes the focus chain follow the table). Each control with an item id carries it
// as the property "itemId". Returns the widgets in table order.
std::vector<QWidget*> BuildFromTemplate(QDialog& dialog, const DialogTemplate& dialogTemplate,
                                        const QIcon& icon);

inline constexpr char kItemIdProperty[] = "itemId";

// The control of `dialog` with the given item id, or null.
QWidget* FindItem(const QWidget& dialog, int itemId);

}  // namespace velkorin
