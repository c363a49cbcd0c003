#pragma once

#include <QFrame>

#include <array>
#include <cstdint>

class QLabel;
class QLineEdit;

namespace velkorin {

// An IPv4 address in four fields of 0 to 255, as the Windows address control behaves: typing a
// dot, or filling a field with three digits, moves on to the next field; a number above 255 is
// taken as 255; Backspace in an empty field and the arrow keys at a field's edge move back and
// forth. Addresses hold the first field in the most significant byte.
class IpAddressEdit : public QFrame {
  Q_OBJECT

 public:
  explicit IpAddressEdit(QWidget* parent = nullptr);
  ~IpAddressEdit() override;

  void SetAddress(std::uint32_t address);
  void ClearAddress();
  // The address with every empty field taken as 0.
  std::uint32_t Address() const;
  // How many of the four fields hold a number: 4 means the address is complete.
  int FilledFieldCount() const;
  bool IsBlank() const { return FilledFieldCount() == 0; }

  QLineEdit* Field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int IndexOf(const QObject* field) const;
  void MoveTo(int index, bool selectAll, bool atEnd);
  void OnTextEdited(int index);
  void ClampField(int index);
  void LayOut();

  std::array<QLineEdit*, 4> fields_{};
  std::array<QLabel*, 3> dots_{};
};

}  // namespace velkorin
