#include "ui/template_builder.h"

#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include <algorithm>

#include "ui/ip_address_edit.h"

namespace velkorin {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Upper-cases what is typed (the edit style of the template) and, for the number style, lets
// only digits through. Text set by the program is not filtered, as with the Windows styles.
class EditValidator : public QValidator {
 public:
  EditValidator(bool digitsOnly, QObject* parent) : QValidator(parent), digitsOnly_(digitsOnly) {}
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    if (digitsOnly_ &&
        std::any_of(input.cbegin(), input.cend(), [](QChar c) { return c < u'0' || c > u'9'; })) {
      return Invalid;
    }
    return Acceptable;
  }

 private:
  bool digitsOnly_;
};

int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  // Rounds half away from zero, as MulDiv does.
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : (product - half) / denominator);
}

QWidget* MakeControl(QDialog& dialog, const DialogItem& item, const DialogUnits& units,
                     const QIcon& icon) {
  const QString text = ToQString(item.text);
  QRect rect(units.X(item.x), units.Y(item.y), units.X(item.width), units.Y(item.height));
  QWidget* widget = nullptr;
  switch (item.kind) {
    case ItemKind::PushButton:
    case ItemKind::DefaultPushButton: {
      auto* button = new QPushButton(text, &dialog);
      const bool isDefault = item.kind == ItemKind::DefaultPushButton;
      button->setAutoDefault(isDefault);
      button->setDefault(isDefault);
      widget = button;
      break;
    }
    case ItemKind::ComboBox: {
      auto* combo = new QComboBox(&dialog);
      widget = combo;
      // The table gives the height with the list opened; the closed box keeps its own height
      // and the rest becomes the number of rows the opened list shows.
      const int closed = combo->sizeHint().height();
      const int row = std::max(1, combo->fontMetrics().height() + 2);
      combo->setMaxVisibleItems(std::max(1, (rect.height() - closed) / row));
      rect.setHeight(closed);
      break;
    }
    case ItemKind::IpAddress:
      widget = new IpAddressEdit(&dialog);
      break;
    case ItemKind::Edit: {
      auto* edit = new QLineEdit(&dialog);
      edit->setFrame((item.styles & kBorder) != 0);
      edit->setReadOnly((item.styles & kReadOnly) != 0);
      if ((item.styles & (kUpperCase | kDigitsOnly)) != 0) {
        edit->setValidator(new EditValidator((item.styles & kDigitsOnly) != 0, edit));
      }
      widget = edit;
      break;
    }
    case ItemKind::Label:
    case ItemKind::Note: {
      auto* label = new QLabel(text, &dialog);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(item.kind == ItemKind::Label ? Qt::AlignLeft | Qt::AlignVCenter
                                                       : Qt::AlignLeft | Qt::AlignTop);
      widget = label;
      break;
    }
    case ItemKind::GroupBox: {
      auto* group = new QGroupBox(text, &dialog);
      group->setAlignment(Qt::AlignHCenter);
      // A frame drawn around controls made before it: it must neither cover them nor take
      // their clicks.
      group->setAttribute(Qt::WA_TransparentForMouseEvents);
      group->setFocusPolicy(Qt::NoFocus);
      widget = group;
      break;
    }
    case ItemKind::Icon: {
      auto* label = new QLabel(&dialog);
      label->setPixmap(icon.pixmap(32, 32));
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      widget = label;
      break;
    }
  }
  widget->setGeometry(rect);
  if ((item.styles & kTabStop) == 0 && widget->focusPolicy() != Qt::NoFocus) {
    widget->setFocusPolicy(Qt::ClickFocus);
  }
  if (item.kind == ItemKind::GroupBox)
    widget->lower();
  if (item.id != kNoItemId)
    widget->setProperty(kItemIdProperty, item.id);
  return widget;
}

}  // namespace

int DialogUnits::X(int units) const {
  return MulDiv(units, averageCharWidth, 4);
}
int DialogUnits::Y(int units) const {
  return MulDiv(units, charHeight, 8);
}

DialogUnits DialogUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  // Windows' own measure: the width of the 52 letters, averaged and rounded.
  const int letters =
      metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return {std::max(1, (letters / 26 + 1) / 2), std::max(1, metrics.height())};
}

QFont TemplateFont(const DialogTemplate& dialogTemplate) {
  QFont font;
  font.setFamilies({ToQString(dialogTemplate.fontFamily), "Gulim", "NanumGothic",
                    "NanumBarunGothic", "Noto Sans CJK KR", "Noto Sans KR"});
  font.setPointSize(dialogTemplate.fontPointSize);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  return font;
}

std::vector<QWidget*> BuildFromTemplate(QDialog& dialog, const DialogTemplate& dialogTemplate,
                                        const QIcon& icon) {
  dialog.setWindowTitle(ToQString(dialogTemplate.caption));
  dialog.setFont(TemplateFont(dialogTemplate));
  const DialogUnits units = DialogUnitsOf(dialog.font());
  dialog.setFixedSize(units.X(dialogTemplate.width), units.Y(dialogTemplate.height));
  std::vector<QWidget*> widgets;
  widgets.reserve(dialogTemplate.items.size());
  for (const DialogItem& item : dialogTemplate.items) {
    widgets.push_back(MakeControl(dialog, item, units, icon));
  }
  return widgets;
}

QWidget* FindItem(const QWidget& dialog, int itemId) {
  for (QWidget* child : dialog.findChildren<QWidget*>()) {
    const QVariant id = child->property(kItemIdProperty);
    if (id.isValid() && id.toInt() == itemId)
      return child;
  }
  return nullptr;
}

}  // namespace velkorin
