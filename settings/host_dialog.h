// The settings dialog's view over the platform's host interface: the host shows the dialog through the
// C interface SdDialog, and message boxes go to the platform's.
#pragma once

#include "settings/config_form.h"

namespace sd::settings {

class HostConfigFormView : public ConfigFormView {
 public:
  bool CanShowModal() override;
  ModalResult ShowModal(TConfigKestForm& form) override;
  void ShowMessage(std::string_view text, std::string_view caption) override;
};

}  // namespace sd::settings
