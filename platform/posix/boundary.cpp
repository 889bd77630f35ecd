// The entries' boundary on POSIX: every host catches the C++ exception, so it goes on as it came.
#include "platform/boundary.h"

namespace sd::platform {

void LeaveEntry(std::exception_ptr& failure, const void* /*return_address*/) { std::rethrow_exception(failure); }

}  // namespace sd::platform
