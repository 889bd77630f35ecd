// Fuzz target: smartdriver-host's run file, read line by line as the host tool reads it, each line split
// into words and read as a command. A line either becomes a command or raises the tool's usage error,
// and the words of a line, written back with quotes, split into the same words.
#include <string>
#include <vector>

#include "fuzz/targets.h"
#include "tools/host/command_line.h"

namespace sd::fuzz {
namespace {

// The words as a run file would spell them: each in quotes, a quote doubled.
std::string Quoted(const std::vector<std::string>& words) {
  std::string line;
  for (const auto& word : words) {
    if (!line.empty()) line += ' ';
    line += '"';
    for (char c : word) line.append(c == '"' ? 2 : 1, c);
    line += '"';
  }
  return line;
}

void ReadLine(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const auto start = line.find_first_not_of(" \t");
  if (start == std::string::npos || line[start] == '#') return;
  std::vector<std::string> words;
  try {
    words = host::SplitWords(line);
  } catch (const host::UsageError&) {
    return;
  }
  Check(host::SplitWords(Quoted(words)) == words, "quoting does not keep the words of: " + Printable(line));
  try {
    host::ParseCommand(words);
  } catch (const host::UsageError&) {
  }
}

}  // namespace

void FuzzRunFile(Input input) {
  const std::string_view text = AsText(input);
  for (std::size_t pos = 0; pos <= text.size();) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    ReadLine(std::string(text.substr(pos, nl - pos)));
    pos = nl + 1;
  }
}

}  // namespace sd::fuzz
