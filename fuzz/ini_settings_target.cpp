// Fuzz target: the settings file. The input is the file's text; the settings are loaded from it, saved
// and loaded again. The second load gives what the first gave, a second save changes nothing, and every
// other key of the file reads as before. The file lives in memory through the platform's file table.
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/targets.h"
#include "platform/files.h"
#include "settings/ansi_text.h"
#include "settings/ini_file.h"
#include "settings/ini_text.h"
#include "settings/link_settings.h"

namespace sd::fuzz {
namespace {

std::string file_text;
bool file_exists = false;

int ReadAll(const std::string&, std::string* contents) {
  if (!file_exists) return 2;
  *contents = file_text;
  return 0;
}

int Size(const std::string&, std::int64_t* size) {
  if (!file_exists) return 2;
  *size = static_cast<std::int64_t>(file_text.size());
  return 0;
}

int ReplaceAll(const std::string&, std::string_view contents) {
  file_text = std::string(contents);
  file_exists = true;
  return 0;
}

bool operator==(const settings::LinkSettingsBlock& a, const settings::LinkSettingsBlock& b) {
  return a.IP == b.IP && a.Port == b.Port && a.bWaitTimeOut == b.bWaitTimeOut && a.bEnableLog == b.bEnableLog &&
         a.Portbn == b.Portbn;
}

settings::LinkSettingsBlock Load() {
  settings::LinkSettings = {};
  settings::LoadLinkSettings();
  return settings::LinkSettings;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Section and key names that the text seems to hold: only questions to ask the file, so a rough reading
// is enough. At most a few of each keep a run fast.
void Names(std::string_view text, std::set<std::string>* sections, std::set<std::string>* keys) {
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    const std::string_view line = Trim(text.substr(pos, nl - pos));
    pos = nl + 1;
    if (!line.empty() && line.front() == '[') {
      if (const auto close = line.find(']'); close != std::string_view::npos && sections->size() < 8)
        sections->insert(std::string(Trim(line.substr(1, close - 1))));
    } else if (const auto eq = line.find('='); eq != std::string_view::npos && keys->size() < 16) {
      keys->insert(std::string(Trim(line.substr(0, eq))));
    }
  }
}

bool IsSettingsKey(std::string_view key) {
  for (const char* own : {"IP", "Port", "Portbn", "bWaitTimeOut", "bEnableLog"})
    if (settings::SameText(key, own)) return true;
  return false;
}

}  // namespace

void FuzzIniSettings(Input input) {
  platform::FileOps memory = platform::SystemFiles();
  memory.read_all = ReadAll;
  memory.size = Size;
  memory.replace_all = ReplaceAll;
  platform::SetFiles(&memory);
  struct Restore {
    ~Restore() { platform::SetFiles(nullptr); }
  } restore;

  const std::string original(AsText(input));
  file_text = original;
  file_exists = true;
  const settings::LinkSettingsBlock first = Load();
  try {
    settings::SaveLinkSettings();
  } catch (const settings::EIniFileException&) {
    // Refused only for a value that holds a line break, which the file's line could not keep, or for a
    // file that begins as UTF-16 but is not.
    Check(first.IP.find_first_of("\r\n") != std::string::npos || settings::IsDamagedUtf16(original),
          "a save failed: " + Printable(original));
    Check(file_text == original, "a refused save changed the file: " + Printable(original));
    return;
  }
  const std::string saved = file_text;
  // A value is written as it is and read trimmed of blanks and of a pair of quotes around it, as the
  // Windows profile functions do; a value that was quoted in the file therefore comes back unquoted.
  settings::LinkSettingsBlock expected = first;
  expected.IP = settings::ini::FindValue("[s]\nk=" + first.IP, "s", "k").value_or("");
  Check(Load() == expected, "the saved settings load differently: " + Printable(original));
  settings::LinkSettings = first;
  settings::SaveLinkSettings();
  Check(file_text == saved, "a second save of the same settings changed the file");

  // A UTF-16 file stays UTF-16 through and through, never a mix of both forms. Its other keys are seen
  // only through its decoded text, which the settings tests compare; the byte view below would find
  // sections and keys in the 16-bit units' bytes that the file does not have.
  if (original.substr(0, 2) == "\xFF\xFE") {
    Check(saved.substr(0, 2) == "\xFF\xFE" && !settings::IsDamagedUtf16(saved),
          "a UTF-16 file was saved as another form: " + Printable(saved));
    return;
  }
  std::set<std::string> sections, keys;
  Names(original, &sections, &keys);
  const std::string_view own = settings::SettingsSection();
  for (const auto& section : sections) {
    const bool ours = settings::SameText(section, own);
    for (const auto& key : keys) {
      if (ours && IsSettingsKey(key)) continue;
      Check(settings::ini::FindValue(original, section, key) == settings::ini::FindValue(saved, section, key),
            "the save changed [" + Printable(section) + "] " + Printable(key) + " of " + Printable(original) +
                " into " + Printable(saved));
    }
  }
}

}  // namespace sd::fuzz
