// The standard streams of the Windows tools carry their bytes unchanged: the CRT's text mode would turn
// each line break into CR LF, and the scripts and tests that read the tools' output expect the same
// lines as on every other system.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {

const bool g_binary_streams = [] {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return true;
}();

}  // namespace
