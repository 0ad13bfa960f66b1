// The login agent file on Linux: any bytes as an autostart entry, read
// through the same capped file reader the tool uses; any bytes as an Exec
// value; and an entry the tool writes, built from the input's words, read
// back whole.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/linux/files/desktop_entry.h"
#include "platform/linux/files/linux_files.h"

namespace {

bool HasControlCharacter(const std::string& word) {
  for (unsigned char c : word) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// Well-formed UTF-8 as the desktop's readers take it: shortest forms only,
// no surrogates, nothing above U+10FFFF. Written apart from the tool's own
// check, from the table of well-formed byte sequences.
bool IsWellFormedUtf8(const std::string& word) {
  size_t i = 0;
  while (i < word.size()) {
    const auto b0 = static_cast<unsigned char>(word[i]);
    auto at = [&](size_t k) {
      return i + k < word.size() ? static_cast<unsigned char>(word[i + k]) : 0u;
    };
    auto in = [](unsigned v, unsigned lo, unsigned hi) { return v >= lo && v <= hi; };
    size_t n = 0;
    if (b0 <= 0x7F) {
      n = 1;
    } else if (in(b0, 0xC2, 0xDF) && in(at(1), 0x80, 0xBF)) {
      n = 2;
    } else if (in(b0, 0xE0, 0xEF)) {
      const unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80, hi = b0 == 0xED ? 0x9F : 0xBF;
      if (!in(at(1), lo, hi) || !in(at(2), 0x80, 0xBF)) return false;
      n = 3;
    } else if (in(b0, 0xF0, 0xF4)) {
      const unsigned lo = b0 == 0xF0 ? 0x90 : 0x80, hi = b0 == 0xF4 ? 0x8F : 0xBF;
      if (!in(at(1), lo, hi) || !in(at(2), 0x80, 0xBF) || !in(at(3), 0x80, 0xBF)) return false;
      n = 4;
    } else {
      return false;
    }
    i += n;
  }
  return true;
}

// Whether the tool can write the words into an entry at all.
bool Writable(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (HasControlCharacter(word) || !IsWellFormedUtf8(word)) return false;
    // Desktops read a per-cent sign or a backslash differently.
    if (word.find_first_of("%\\") != std::string::npos) return false;
  }
  return true;
}

// Any bytes as the file: crashes, leaks and undefined behaviour are the
// findings, and the file must read as its bytes parse.
void ReadAnyBytes(fuzz::MemoryFile& file, const uint8_t* data, size_t size) {
  file.Fill(data, size);
  linux_platform::LinuxFiles files(linux_platform::XdgEnvironment{"/nonexistent", {}, {}, {}});
  const auto contents = files.ReadAgentFile(file.Path());
  fuzz::Check(
      contents.has_value() == linux_platform::ParseDesktopEntry(fuzz::Text(data, size)).has_value(),
      "the file reader and the parser agree");
}

// Any bytes as an Exec value: what splits must quote back to a value that
// splits to the same arguments.
void SplitAnyExec(const uint8_t* data, size_t size) {
  const auto arguments = linux_platform::SplitExec(fuzz::Text(data, size));
  if (!arguments) return;
  const auto quoted = linux_platform::QuoteExec(*arguments);
  fuzz::Check(
      quoted.ok() == Writable(*arguments),
      "exactly the arguments with control characters, ill-formed UTF-8, % or \\ are refused");
  if (!quoted.ok()) return;
  fuzz::Check(linux_platform::SplitExec(quoted.value()) == *arguments,
              "quoted arguments split back unchanged");
}

// The words are the program arguments: whatever the tool writes, it must
// read back unchanged, or it would offer to install itself again at every
// start; and what it refuses to write is exactly what no reader could take.
// The label is the tool's own, fixed, so it stays plain here.
void WriteThenRead(const uint8_t* data, size_t size) {
  platform::AgentDefinition agent;
  agent.label = "com.example.fuzz";
  agent.name = "Fuzz Entry";
  agent.program_arguments = fuzz::Words(data, size);
  const auto entry = linux_platform::SerializeDesktopEntry(agent);
  fuzz::Check(entry.ok() == Writable(agent.program_arguments),
              "an entry is refused exactly for control characters, ill-formed UTF-8, % or \\");
  if (!entry.ok()) return;
  const auto back = linux_platform::ParseDesktopEntry(entry.value());
  fuzz::Check(back.has_value(), "a written entry can be read");
  fuzz::Check(back->label == agent.label, "the label reads back unchanged");
  fuzz::Check(back->program_arguments == agent.program_arguments,
              "the program arguments read back unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::MemoryFile file;
  ReadAnyBytes(file, data, size);
  SplitAnyExec(data, size);
  WriteThenRead(data, size);
  return 0;
}
