// The stop request on POSIX: SIGINT and SIGTERM, blocked in every thread and taken by sigwait.
#include "tools/emulator/stop_signal.h"

#include <pthread.h>
#include <signal.h>

namespace sd::emulator {
namespace {

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

void TakeOverStopSignals() {
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

std::string WaitForStopSignal() {
  const sigset_t signals = StopSignals();
  int signal_number = 0;
  sigwait(&signals, &signal_number);
  return signal_number == SIGINT ? "SIGINT" : "SIGTERM";
}

}  // namespace sd::emulator
