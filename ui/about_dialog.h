#pragma once

#include <QDialog>

namespace velkorin {

// The About box: the program's name and version, and "확인". Enter (its default button) and
// "확인" end it with accept, Escape and the close box with reject.
class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace velkorin
