#include "ui/ip_address_edit.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include <algorithm>

namespace velkorin {
namespace {

constexpr int kFieldDigits = 3;
constexpr int kFieldMax = 255;

}  // namespace

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent) {
  // Looks like one edit box: a sunken frame around four borderless fields on the base colour.
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
  auto* validator = new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), this);
  for (int i = 0; i < 4; ++i) {
    auto* field = new QLineEdit(this);
    field->setFrame(false);
    field->setAlignment(Qt::AlignCenter);
    field->setMaxLength(kFieldDigits);
    field->setValidator(validator);
    field->installEventFilter(this);
    // Tab leaves the whole control, as it does the Windows one: only the first field takes the
    // focus from the keyboard; the others are reached with a dot, a full field or the arrows.
    field->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
    connect(field, &QLineEdit::textEdited, this, [this, i] { OnTextEdited(i); });
    connect(field, &QLineEdit::editingFinished, this, [this, i] { ClampField(i); });
    fields_[static_cast<std::size_t>(i)] = field;
    if (i < 3) {
      auto* dot = new QLabel(".", this);
      dot->setAlignment(Qt::AlignCenter);
      dots_[static_cast<std::size_t>(i)] = dot;
    }
  }
  // Keep the right creation order for the focus chain: fields first, so Tab goes field 0 -> next
  // control; the dots take no focus.
  setFocusPolicy(Qt::StrongFocus);
  setFocusProxy(fields_[0]);
  LayOut();
}

IpAddressEdit::~IpAddressEdit() {
  // The fields outlive this part of the object: QWidget's destructor takes the focus from them
  // and they report it, but there is no address edit left to hear it.
  for (QLineEdit* field : fields_) {
    field->disconnect(this);
    field->removeEventFilter(this);
  }
}

void IpAddressEdit::SetAddress(std::uint32_t address) {
  for (int i = 0; i < 4; ++i) {
    const unsigned octet = (address >> (8 * (3 - i))) & 0xFFu;
    fields_[static_cast<std::size_t>(i)]->setText(QString::number(octet));
  }
}

void IpAddressEdit::ClearAddress() {
  for (QLineEdit* field : fields_)
    field->clear();
}

std::uint32_t IpAddressEdit::Address() const {
  std::uint32_t address = 0;
  for (QLineEdit* field : fields_) {
    const int value = std::min(field->text().toInt(), kFieldMax);  // empty gives 0
    address = (address << 8) | static_cast<std::uint32_t>(value);
  }
  return address;
}

int IpAddressEdit::FilledFieldCount() const {
  int filled = 0;
  for (QLineEdit* field : fields_)
    filled += field->text().isEmpty() ? 0 : 1;
  return filled;
}

int IpAddressEdit::IndexOf(const QObject* field) const {
  for (int i = 0; i < 4; ++i) {
    if (fields_[static_cast<std::size_t>(i)] == field)
      return i;
  }
  return -1;
}

void IpAddressEdit::MoveTo(int index, bool selectAll, bool atEnd) {
  if (index < 0 || index > 3)
    return;
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  field->setFocus(Qt::OtherFocusReason);
  if (selectAll) {
    field->selectAll();
  } else {
    field->setCursorPosition(atEnd ? static_cast<int>(field->text().size()) : 0);
  }
}

void IpAddressEdit::ClampField(int index) {
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  if (!field->text().isEmpty() && field->text().toInt() > kFieldMax) {
    field->setText(QString::number(kFieldMax));
  }
}

void IpAddressEdit::OnTextEdited(int index) {
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  if (field->text().size() < kFieldDigits || field->cursorPosition() < kFieldDigits)
    return;
  ClampField(index);
  MoveTo(index + 1, true, false);
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
  const int index = IndexOf(watched);
  if (index < 0 || event->type() != QEvent::KeyPress)
    return QFrame::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  QLineEdit* field = fields_[static_cast<std::size_t>(index)];
  const bool noSelection = !field->hasSelectedText();
  switch (key->key()) {
    case Qt::Key_Period:
      // A dot ends a field that holds a number; in an empty field it does nothing.
      if (!field->text().isEmpty()) {
        ClampField(index);
        MoveTo(index + 1, true, false);
      }
      return true;
    case Qt::Key_Backtab:
      // Shift+Tab leaves the whole control, as Tab does, not just back to its first field.
      if (index > 0) {
        fields_[0]->setFocus(Qt::BacktabFocusReason);
        focusNextPrevChild(false);
        return true;
      }
      break;
    case Qt::Key_Backspace:
      if (field->cursorPosition() == 0 && noSelection && index > 0) {
        MoveTo(index - 1, false, true);
        return true;
      }
      break;
    case Qt::Key_Left:
      if (field->cursorPosition() == 0 && noSelection && index > 0) {
        MoveTo(index - 1, false, true);
        return true;
      }
      break;
    case Qt::Key_Right:
      if (field->cursorPosition() == field->text().size() && noSelection && index < 3) {
        MoveTo(index + 1, false, false);
        return true;
      }
      break;
    default:
      break;
  }
  return QFrame::eventFilter(watched, event);
}

void IpAddressEdit::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  LayOut();
}

void IpAddressEdit::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::FontChange)
    LayOut();
}

void IpAddressEdit::LayOut() {
  const QRect area = contentsRect();
  const int dotWidth = std::max(3, fontMetrics().horizontalAdvance('.') + 2);
  const int fieldWidth = std::max(1, (area.width() - 3 * dotWidth) / 4);
  int x = area.left();
  for (int i = 0; i < 4; ++i) {
    fields_[static_cast<std::size_t>(i)]->setGeometry(x, area.top(), fieldWidth, area.height());
    x += fieldWidth;
    if (i < 3) {
      dots_[static_cast<std::size_t>(i)]->setGeometry(x, area.top(), dotWidth, area.height());
      x += dotWidth;
    }
  }
}

}  // namespace velkorin
