// The process-wide socket stack: the one-time start of the socket library, and the SocketStack object
// that lives exactly while some transport object uses it, counted under the stack lock.
#pragma once

#include <cstdint>
#include <string>

namespace sd::transport {

// The stack object. Only AcquireSocketStack and ReleaseSocketStack create and destroy it.
class SocketStack {
 public:
  SocketStack();
  SocketStack(const SocketStack&) = delete;
  SocketStack& operator=(const SocketStack&) = delete;

  // The local host name, as gethostname gave it when the stack was created.
  const std::string& HostName() const { return host_name_; }

 private:
  std::string host_name_;
};

// Counts a new user; the first one creates the stack, starting the socket library if it has not been
// started yet. A failed start-up raises (SocketLibraryError or StackInitializationError) with the user
// already counted, so the caller releases it as its teardown would.
void AcquireSocketStack();
// Counts a user off; the last one destroys the stack. The library stays started until unload.
void ReleaseSocketStack();

// Shuts the socket library down once, if it was started. Library shutdown calls it after the last
// exchange thread has ended.
void StopSocketLibrary();

// Loads the socket library if that has not happened yet and starts it with the requested version;
// returns the start-up's result (0 on success).
int StartSocketLibrary(std::uint16_t version);

// The number of users now counted, and whether a stack exists; for diagnostics and tests.
int SocketStackUsers();
bool SocketStackExists();

// Holds the stack for the life of the object that owns it; a creation that fails leaves the count as
// it was.
class StackUser {
 public:
  StackUser();
  ~StackUser();
  StackUser(const StackUser&) = delete;
  StackUser& operator=(const StackUser&) = delete;
};

}  // namespace sd::transport
