// The entries' boundary on POSIX: every host catches the C++ exception, so it goes on as it came, and the
// host's floating-point state is left as it is.
#include "platform/boundary.h"

namespace sd::platform {

EntryFrame::EntryFrame() : words_{} {}
EntryFrame::~EntryFrame() = default;
void EntryFrame::GiveBackHostState() {}

void LeaveEntry(std::exception_ptr& failure, const void* /*return_address*/, EntryFrame& /*frame*/) {
  std::rethrow_exception(failure);
}

}  // namespace sd::platform
