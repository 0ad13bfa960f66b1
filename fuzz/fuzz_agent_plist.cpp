// The login agent file on the simulated platform: any bytes as a property
// list file (XML or binary), read as the tool reads it at every start; and
// an agent the tool writes, built from the input's words, read back whole.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/sim/sim_plist.h"

namespace {

bool Same(const std::optional<platform::AgentFileContents>& a,
          const std::optional<platform::AgentFileContents>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (a->label == b->label && a->program_arguments == b->program_arguments);
}

// Crashes, leaks and undefined behaviour are what this looks for; a second
// read of the same bytes must also give the same answer (libplist keeps
// state between calls).
void ReadAnyBytes(fuzz::MemoryFile& file, const uint8_t* data, size_t size) {
  file.Fill(data, size);
  const auto first = sim::ReadAgentPlist(file.Path());
  const auto second = sim::ReadAgentPlist(file.Path());
  fuzz::Check(Same(first, second), "the same file reads the same twice");
}

// The words are the label and the program arguments; whatever the tool
// manages to write, it must read back unchanged, or it would offer to
// install itself again at every start.
void WriteThenRead(fuzz::MemoryFile& file, const uint8_t* data, size_t size) {
  const std::vector<std::string> words = fuzz::Words(data, size);
  if (words.empty()) return;
  platform::AgentDefinition agent;
  agent.label = words[0];
  agent.program_arguments.assign(words.begin() + 1, words.end());
  agent.process_type = "Interactive";
  agent.standard_out_path = "/tmp/out.log";
  agent.standard_error_path = "/tmp/err.log";
  const auto xml = sim::AgentToXml(agent);
  if (!xml.ok()) return;
  file.Fill(xml.value());
  const auto back = sim::ReadAgentPlist(file.Path());
  fuzz::Check(back.has_value(), "an agent file the tool wrote can be read");
  fuzz::Check(back->label == agent.label, "the label reads back unchanged");
  fuzz::Check(back->program_arguments == agent.program_arguments,
              "the program arguments read back unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::MemoryFile file;
  ReadAnyBytes(file, data, size);
  WriteThenRead(file, data, size);
  return 0;
}
