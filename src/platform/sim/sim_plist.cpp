#include "platform/sim/sim_plist.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/posix/posix_files.h"

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
    if (text) plist_to_xml_free(text);
  }
};

std::optional<std::string> StringOf(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
  char* raw = nullptr;
  plist_get_string_val(node, &raw);
  if (!raw) return std::nullopt;
  std::string out(raw);
  std::free(raw);  // allocated with malloc by libplist
  return out;
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
  auto bytes = posix::ReadWholeFile(path);
  if (!bytes.ok() || bytes.value().empty() ||
      bytes.value().size() > std::numeric_limits<uint32_t>::max()) {
    return std::nullopt;
  }
  plist_t raw = nullptr;
  plist_from_memory(bytes.value().data(), static_cast<uint32_t>(bytes.value().size()), &raw);
  PlistPtr root(raw);
  if (!root || plist_get_node_type(raw) != PLIST_DICT) return std::nullopt;
  platform::AgentFileContents contents;
  contents.label = StringOf(plist_dict_get_item(raw, "Label"));
  contents.program_arguments = StringArrayOf(plist_dict_get_item(raw, "ProgramArguments"));
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
