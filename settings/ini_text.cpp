// Reading and editing INI text line by line, leaving untouched every line that is not the one written.
#include "settings/ini_text.h"

#include <vector>

#include "settings/ansi_text.h"

namespace sd::settings::ini {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// One line of the text: [begin, content_end) is its content, [content_end, end) its line ending.
struct Line {
  std::size_t begin;
  std::size_t content_end;
  std::size_t end;
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) {
      // A carriage return that ends the file ends its last line too, as it would before a line feed:
      // it is no part of the last value.
      const std::size_t content_end = text.back() == '\r' ? text.size() - 1 : text.size();
      lines.push_back({pos, content_end, text.size()});
      break;
    }
    const std::size_t content_end = nl > pos && text[nl - 1] == '\r' ? nl - 1 : nl;
    lines.push_back({pos, content_end, nl + 1});
    pos = nl + 1;
  }
  return lines;
}

enum class Kind { kOther, kBlank, kSection, kKey };

struct Parsed {
  Kind kind = Kind::kOther;
  std::string_view name;         // the section's or the key's name
  std::size_t value_offset = 0;  // for a key: where its value starts within the line's content
  std::size_t equals_end = 0;    // for a key: just after its "="
};

Parsed Parse(std::string_view content, bool first_line) {
  // A UTF-8 byte order mark that an editor put in front of the first line is not part of its text.
  std::size_t shift = 0;
  if (first_line && content.substr(0, 3) == "\xEF\xBB\xBF") {
    content.remove_prefix(3);
    shift = 3;
  }
  const std::string_view trimmed = Trim(content);
  Parsed p;
  if (trimmed.empty()) {
    p.kind = Kind::kBlank;
  } else if (trimmed.front() == '[') {
    const std::size_t close = trimmed.find(']');
    if (close != std::string_view::npos) {
      p.kind = Kind::kSection;
      p.name = Trim(trimmed.substr(1, close - 1));
    }
  } else if (trimmed.front() != ';') {
    const std::size_t eq = content.find('=');
    if (eq != std::string_view::npos) {
      p.kind = Kind::kKey;
      p.name = Trim(content.substr(0, eq));
      std::size_t v = eq + 1;
      p.equals_end = v + shift;
      while (v < content.size() && IsBlank(content[v])) ++v;
      p.value_offset = v + shift;
    }
  }
  return p;
}

std::string_view ContentOf(std::string_view text, const Line& line) {
  return text.substr(line.begin, line.content_end - line.begin);
}

// Completes a last line that has no line feed; after a carriage return, the feed alone does it.
void EndLastLine(std::string& out, std::string_view eol) {
  if (out.empty() || out.back() == '\n') return;
  out.append(out.back() == '\r' ? "\n" : eol);
}

std::string_view LineEnding(std::string_view text) {
  const std::size_t nl = text.find('\n');
  if (nl != std::string_view::npos && (nl == 0 || text[nl - 1] != '\r')) return "\n";
  return "\r\n";
}

// Where `key` of `section` is: the index of its section's header line and of its own line (or npos).
struct Location {
  std::size_t section = std::string_view::npos;
  std::size_t key = std::string_view::npos;
  std::size_t last_non_blank = std::string_view::npos;  // the section's last non-blank line
};

Location Locate(std::string_view text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
  Location loc;
  bool inside = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Parsed p = Parse(ContentOf(text, lines[i]), i == 0);
    if (p.kind == Kind::kSection) {
      if (inside) break;  // the first section of the name is the one read and written
      inside = SameText(p.name, section);
      if (inside) loc.section = loc.last_non_blank = i;
      continue;
    }
    if (!inside) continue;
    if (p.kind != Kind::kBlank) loc.last_non_blank = i;
    if (p.kind == Kind::kKey && loc.key == std::string_view::npos && SameText(p.name, key)) loc.key = i;
  }
  return loc;
}

}  // namespace

std::optional<std::string> FindValue(std::string_view text, std::string_view section, std::string_view key) {
  const std::vector<Line> lines = SplitLines(text);
  const Location loc = Locate(text, lines, section, key);
  if (loc.key == std::string_view::npos) return std::nullopt;
  const std::string_view content = ContentOf(text, lines[loc.key]);
  std::string_view value = Trim(content.substr(Parse(content, loc.key == 0).value_offset));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
  const std::vector<Line> lines = SplitLines(text);
  const Location loc = Locate(text, lines, section, key);
  const std::string_view eol = LineEnding(text);
  std::string out;
  out.reserve(text.size() + section.size() + key.size() + value.size() + 8);

  if (loc.key != std::string_view::npos) {
    const Line& line = lines[loc.key];
    const Parsed p = Parse(ContentOf(text, line), loc.key == 0);
    // The blanks before the old value stay, unless the new value brings blanks of its own: kept too,
    // they would grow by the value's blanks at every save.
    const bool own_blanks = !value.empty() && IsBlank(value.front());
    const std::size_t value_begin = line.begin + (own_blanks ? p.equals_end : p.value_offset);
    out.append(text.substr(0, value_begin));
    out.append(value);
    out.append(text.substr(line.content_end));
    return out;
  }

  const std::string entry = std::string(key) + "=" + std::string(value);
  if (loc.section != std::string_view::npos) {
    const Line& after = lines[loc.last_non_blank];
    out.append(text.substr(0, after.end));
    EndLastLine(out, eol);
    out.append(entry).append(eol);
    out.append(text.substr(after.end));
    return out;
  }

  out.append(text);
  if (!out.empty()) {
    EndLastLine(out, eol);
    // One blank line keeps the new section apart from the last one.
    if (!lines.empty() && Parse(ContentOf(text, lines.back()), lines.size() == 1).kind != Kind::kBlank)
      out.append(eol);
  }
  out.append("[").append(section).append("]").append(eol);
  out.append(entry).append(eol);
  return out;
}

}  // namespace sd::settings::ini
