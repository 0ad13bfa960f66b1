#include "platform/linux/files/desktop_entry.h"

#include <cstring>

namespace linux_platform {
namespace {

// Characters that make an argument need double quotes.
constexpr const char* kReserved = " \t\"'\\><~|&;$*?#()`";

bool HasControlCharacter(const std::string& s) {
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// The value-level escapes of the format (\s \n \t \r \\).
std::string EscapeValue(const std::string& raw) {
  std::string out;
  for (char c : raw) {
    if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> UnescapeValue(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      out += value[i];
      continue;
    }
    if (++i == value.size()) return std::nullopt;
    switch (value[i]) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

// Well-formed UTF-8, the format's encoding, as the desktop's readers check
// it: shortest forms only, no encoded surrogates (U+D800 to U+DFFF), nothing
// above U+10FFFF. The second byte's range depends on the first.
bool IsUtf8(const std::string& s) {
  auto in = [](unsigned char c, unsigned lo, unsigned hi) { return c >= lo && c <= hi; };
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t extra = 0;
    unsigned lo = 0x80, hi = 0xBF;  // the second byte's range
    if (c < 0x80) {
      extra = 0;
    } else if (in(c, 0xC2, 0xDF)) {
      extra = 1;
    } else if (in(c, 0xE0, 0xEF)) {
      extra = 2;
      if (c == 0xE0) lo = 0xA0;  // overlong below U+0800
      if (c == 0xED) hi = 0x9F;  // surrogates
    } else if (in(c, 0xF0, 0xF4)) {
      extra = 3;
      if (c == 0xF0) lo = 0x90;  // overlong below U+10000
      if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;  // cut short
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(s[i + k]);
      if (k == 1 ? !in(next, lo, hi) : !in(next, 0x80, 0xBF)) return false;
    }
    i += extra + 1;
  }
  return true;
}

std::string Trim(const std::string& s) {
  const size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  const size_t end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

}  // namespace

platform::Result<std::string> QuoteExec(const std::vector<std::string>& arguments) {
  std::string exec;
  for (const std::string& argument : arguments) {
    // An entry is UTF-8 text, one value a line: a path with a control
    // character or with bytes that are not UTF-8 cannot be written so that
    // the desktop (or this tool) reads it back.
    if (HasControlCharacter(argument)) {
      return platform::Result<std::string>::Fail(
          "the program's path holds a control character; move the program to a folder whose "
          "path has none and install again");
    }
    if (!IsUtf8(argument)) {
      return platform::Result<std::string>::Fail(
          "the program's path is not valid UTF-8; move the program to a folder whose path is "
          "and install again");
    }
    // Escaped as the format says, these still reach the program differently
    // depending on who starts the entry (systemd's autostart generator,
    // GLib, the desktop's own launcher): an entry that may never start is
    // not written.
    if (argument.find_first_of("%\\") != std::string::npos) {
      return platform::Result<std::string>::Fail(
          "the program's path holds a per-cent sign or a backslash, which desktops read "
          "differently; move the program to a folder whose path has neither and install again");
    }
    std::string word;
    const bool quote = argument.empty() || argument.find_first_of(kReserved) != std::string::npos;
    for (char c : argument) {
      if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
        word += '\\';
        word += c;
      } else {
        word += c;
      }
    }
    if (!exec.empty()) exec += ' ';
    exec += quote ? "\"" + word + "\"" : word;
  }
  return platform::Result<std::string>::Of(EscapeValue(exec));
}

std::optional<std::vector<std::string>> SplitExec(const std::string& value) {
  const std::optional<std::string> text = UnescapeValue(value);
  if (!text) return std::nullopt;
  std::vector<std::string> arguments;
  std::string word;
  bool in_word = false;
  bool quoted = false;
  for (size_t i = 0; i < text->size(); ++i) {
    const char c = (*text)[i];
    if (c == '%') {
      // A field code, also inside quotes: "%%" is a percent sign, the
      // others expand to nothing in a file the tool reads back.
      if (++i == text->size()) return std::nullopt;
      if ((*text)[i] == '%') word += '%';
      in_word = true;
      continue;
    }
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\') {
        if (++i == text->size()) return std::nullopt;
        word += (*text)[i];
      } else {
        word += c;
      }
      continue;
    }
    if (c == ' ' || c == '\t') {
      if (in_word) arguments.push_back(word);
      word.clear();
      in_word = false;
      continue;
    }
    in_word = true;
    if (c == '"') {
      quoted = true;
    } else {
      word += c;
    }
  }
  if (quoted) return std::nullopt;
  if (in_word) arguments.push_back(word);
  return arguments;
}

platform::Result<std::string> SerializeDesktopEntry(const platform::AgentDefinition& agent) {
  const std::string& name = agent.name;
  if (HasControlCharacter(agent.label) || HasControlCharacter(name)) {
    return platform::Result<std::string>::Fail("the label or name holds a control character");
  }
  platform::Result<std::string> exec = QuoteExec(agent.program_arguments);
  if (!exec.ok()) return exec;
  // The icon is named by the theme, as the installed applications entry
  // names it (the label is the desktop ID of both).
  // TryExec: once the program is gone (uninstalled, or its package
  // purged), session runners skip the entry instead of failing on it.
  const std::string try_exec =
      agent.program_arguments.empty() ? "" : "\nTryExec=" + EscapeValue(agent.program_arguments[0]);
  std::string out = "[Desktop Entry]\nType=Application\nName=" + EscapeValue(name) + try_exec +
                    "\nExec=" + exec.value() + "\nIcon=" + EscapeValue(agent.label) +
                    "\nTerminal=false\nNoDisplay=true\n" + kLabelKey + "=" +
                    EscapeValue(agent.label) + "\n";
  if (!agent.run_at_load) out += "Hidden=true\n";
  return platform::Result<std::string>::Of(out);
}

std::optional<platform::AgentFileContents> ParseDesktopEntry(const std::string& bytes) {
  if (bytes.size() > kMaxEntryBytes) return std::nullopt;
  if (bytes.find('\0') != std::string::npos || !IsUtf8(bytes)) return std::nullopt;
  platform::AgentFileContents contents;
  bool in_entry = false;
  bool seen_entry = false;
  bool seen_label = false;
  bool seen_exec = false;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = Trim(bytes.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      in_entry = line == "[Desktop Entry]";
      seen_entry = seen_entry || in_entry;
      continue;
    }
    if (!in_entry) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, eq));
    const std::string value = Trim(line.substr(eq + 1));
    // The first occurrence of a key counts, as the format's readers do.
    if (key == kLabelKey && !seen_label) {
      seen_label = true;
      if (std::optional<std::string> label = UnescapeValue(value)) contents.label = *label;
    } else if (key == "Exec" && !seen_exec) {
      seen_exec = true;
      contents.program_arguments = SplitExec(value);
    }
  }
  if (!seen_entry) return std::nullopt;
  return contents;
}

}  // namespace linux_platform
