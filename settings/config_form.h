// The settings dialog TConfigKestForm as a model that knows no toolkit: its controls with their captions,
// its show and Apply handlers, and the menu entry's click. A view shows it and reports its one input
// error; each platform provides the view.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sd::settings {

enum class ModalResult { kOk = 1, kCancel = 2 };

class TConfigKestForm;

// What the dialog needs from the screen.
class ConfigFormView {
 public:
  virtual ~ConfigFormView() = default;
  // Whether the dialog can be shown at all (a POSIX host without a user interface cannot show it).
  virtual bool CanShowModal() = 0;
  // Shows the form, filled as it is, until the operator closes it; returns the button that closed it.
  virtual ModalResult ShowModal(TConfigKestForm& form) = 0;
  // A message box owned by no window, with one OK button; returns when it is closed.
  virtual void ShowMessage(std::string_view text, std::string_view caption) = 0;
};

struct TLabel {
  std::string Caption;
};

struct TEdit {
  std::string Text;
};

struct TCheckBox {
  std::string Caption;
  bool Checked = false;
};

struct TBitBtn {
  std::string Caption;
  ModalResult Result;  // the result the dialog closes with when the button is pressed
};

// A whole-number spin field; the value always stays within its range.
class TSpinEdit {
 public:
  TSpinEdit(std::int32_t min_value, std::int32_t max_value, std::int32_t value)
      : min_(min_value), max_(max_value), value_(Clamp(value)) {}
  std::int32_t MinValue() const { return min_; }
  std::int32_t MaxValue() const { return max_; }
  std::int32_t Increment() const { return 1; }
  std::int32_t Value() const { return value_; }
  void SetValue(std::int64_t value) { value_ = Clamp(value); }

 private:
  std::int32_t Clamp(std::int64_t v) const {
    return static_cast<std::int32_t>(v < min_ ? min_ : v > max_ ? max_ : v);
  }
  std::int32_t min_, max_, value_;
};

class TConfigKestForm {
 public:
  explicit TConfigKestForm(ConfigFormView& view);

  // The component name and the window's caption.
  std::string Name;
  std::string Caption;

  // The controls, in the order the form declares them.
  TBitBtn BitBtn1;   // Apply
  TBitBtn BitBtn2;   // Cancel
  TCheckBox cbLog;
  TSpinEdit seTimOut{2, 999, 2};  // reply time-out in seconds
  TLabel Label3;
  TEdit edPortbn;
  TLabel Label5;
  TEdit edPort;
  TLabel Label2;
  TEdit edIP;
  TLabel Label1;

  // The show handler: loads LinkSettings from the file and fills the controls.
  void FormShow();
  // Apply: takes the controls into LinkSettings and saves them; a bad port text changes nothing and
  // shows "Неверный № порта". Raises what the save raises.
  void BitBtn1Click();
  // The menu entry's click: shows the dialog modally (filled afresh by FormShow) and applies it when
  // closed with Apply; does nothing when the view cannot show it.
  void SettingsMenuClick();

 private:
  ConfigFormView& view_;
};

// Milliseconds as the dialog's whole seconds: the nearest, an exact half to the even neighbour.
std::int64_t MillisecondsToSeconds(std::int32_t ms);

}  // namespace sd::settings
