#include "platform/sim/sim_plist.h"

#include <plist/plist.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/posix/agent_file_bytes.h"
#include "platform/sim/bplist_strings.h"

namespace sim {
namespace {

// Owns a plist node tree; freeing the root frees every child.
struct PlistFree {
  void operator()(void* node) const {
    if (node) plist_free(static_cast<plist_t>(node));
  }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Owns the text plist_to_xml returns.
struct XmlFree {
  void operator()(char* text) const {
#if QS_LIBPLIST_2_3
    if (text) plist_mem_free(text);
#else
    if (text) plist_to_xml_free(text);
#endif
  }
};

// Reads a property list of either format; the libplist of Debian 13 also
// reports which format it found, which is not needed here.
plist_t PlistFromMemory(const std::string& bytes) {
  plist_t raw = nullptr;
#if QS_LIBPLIST_2_3
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw, nullptr);
#else
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
#endif
  return raw;
}

// A string node's text. One with a NUL byte inside is no usable text: the
// plain getter asserts on it (aborting the process), the XML reader keeps
// its length but loses what follows the NUL, and a copy cut at the NUL could
// pass for another string. Such a string is left out like a wrong type.
std::optional<std::string> StringOf(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
  uint64_t length = 0;
  const char* text = plist_get_string_ptr(node, &length);  // owned by the node
  if (!text) return std::nullopt;
  return posix::AgentStringValue(text, static_cast<size_t>(length));
}

std::optional<std::vector<std::string>> StringArrayOf(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_ARRAY) return std::nullopt;
  std::vector<std::string> out;
  const uint32_t n = plist_array_get_size(node);
  for (uint32_t i = 0; i < n; ++i) {
    auto s = StringOf(plist_array_get_item(node, i));
    if (!s) return std::nullopt;
    out.push_back(std::move(*s));
  }
  return out;
}

}  // namespace

std::optional<platform::AgentFileContents> ReadAgentPlist(const std::string& path) {
  // Only a regular file of modest size is read: a device, a pipe without a
  // writer or a file of gigabytes at the agent path must neither stall the
  // start nor take the memory.
  auto bytes = posix::ReadAgentFileBytes(path);
  if (!bytes.ok() || bytes.value().empty()) return std::nullopt;
  plist_t raw = PlistFromMemory(bytes.value());
  PlistPtr root(raw);
  if (!root || plist_get_node_type(raw) != PLIST_DICT) return std::nullopt;
  platform::AgentFileContents contents;
  contents.label = StringOf(plist_dict_get_item(raw, "Label"));
  contents.program_arguments = StringArrayOf(plist_dict_get_item(raw, "ProgramArguments"));
  // The binary reader has already cut any string at its NUL; what it cut is
  // found in the bytes, and a value equal to such a cut is no string either.
  const std::vector<std::string> cut = CutStringsOfBinaryPlist(bytes.value());
  auto was_cut = [&cut](const std::string& text) {
    for (const std::string& c : cut) {
      if (c == text) return true;
    }
    return false;
  };
  if (contents.label && was_cut(*contents.label)) contents.label.reset();
  if (contents.program_arguments) {
    for (const std::string& argument : *contents.program_arguments) {
      if (was_cut(argument)) {
        contents.program_arguments.reset();
        break;
      }
    }
  }
  return contents;
}

platform::Result<std::string> AgentToXml(const platform::AgentDefinition& agent) {
  PlistPtr root(plist_new_dict());
  if (!root) return platform::Result<std::string>::Fail("Cannot make a property list.");
  plist_t dict = static_cast<plist_t>(root.get());
  // Each set value is owned by the dictionary from here on.
  plist_dict_set_item(dict, "Label", plist_new_string(agent.label.c_str()));
  plist_t args = plist_new_array();
  for (const auto& arg : agent.program_arguments) {
    plist_array_append_item(args, plist_new_string(arg.c_str()));
  }
  plist_dict_set_item(dict, "ProgramArguments", args);
  plist_dict_set_item(dict, "RunAtLoad", plist_new_bool(agent.run_at_load ? 1 : 0));
  plist_dict_set_item(dict, "KeepAlive", plist_new_bool(agent.keep_alive ? 1 : 0));
  plist_dict_set_item(dict, "ProcessType", plist_new_string(agent.process_type.c_str()));
  plist_dict_set_item(dict, "StandardOutPath", plist_new_string(agent.standard_out_path.c_str()));
  plist_dict_set_item(dict, "StandardErrorPath",
                      plist_new_string(agent.standard_error_path.c_str()));
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(dict, &xml, &length);
  std::unique_ptr<char, XmlFree> owned(xml);
  if (!xml || length == 0) {
    return platform::Result<std::string>::Fail("The property list could not be written as XML.");
  }
  return platform::Result<std::string>::Of(std::string(xml, length));
}

}  // namespace sim
