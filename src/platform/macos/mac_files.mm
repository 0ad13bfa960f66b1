#include "platform/macos/mac_files.h"

#import <Foundation/Foundation.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/macos/agent_program.h"
#import "platform/macos/ns_text.h"
#include "platform/posix/agent_file_bytes.h"

namespace platform::macos {
namespace {

// The platform's description of a failure, for the tool's "%@".
std::string Describe(NSError* error) {
  return error ? FromNSString(error.localizedDescription) : std::string("Unknown error.");
}

constexpr const char* kNotUtf8 = "The text is not valid UTF-8.";

// `value` when it is a string without a NUL inside. All of its UTF-8 bytes
// are looked at: UTF8String would stop at the first NUL.
std::optional<std::string> StringValue(id value) {
  if (![value isKindOfClass:[NSString class]]) return std::nullopt;
  NSData* utf8 = [(NSString*)value dataUsingEncoding:NSUTF8StringEncoding];
  if (!utf8) return std::nullopt;
  return posix::AgentStringValue(static_cast<const char*>(utf8.bytes),
                                 static_cast<size_t>(utf8.length));
}

// The strings of `value` when it is an array of such strings only.
std::optional<std::vector<std::string>> StringArray(id value) {
  if (![value isKindOfClass:[NSArray class]]) return std::nullopt;
  std::vector<std::string> out;
  for (id element in (NSArray*)value) {
    std::optional<std::string> text = StringValue(element);
    if (!text) return std::nullopt;
    out.push_back(std::move(*text));
  }
  return out;
}

}  // namespace

std::string MacFiles::HomeDirectory() {
  return FromNSString(NSHomeDirectory());
}

std::optional<std::string> MacFiles::ApplicationSupportDirectory() {
  NSArray<NSString*>* folders =
      NSSearchPathForDirectoriesInDomains(NSApplicationSupportDirectory, NSUserDomainMask, YES);
  NSString* first = folders.firstObject;
  if (!first) return std::nullopt;
  return FromNSString(first);
}

std::string MacFiles::AgentDirectory() {
  return FromNSString([NSHomeDirectory() stringByAppendingPathComponent:@"Library/LaunchAgents"]);
}

std::optional<std::string> MacFiles::ExecutablePath() {
  NSString* path = [[NSBundle mainBundle] executablePath];
  if (!path) return std::nullopt;
  return FromNSString(path);
}

Status MacFiles::CreateDirectories(const std::string& path) {
  NSString* folder = ToNSStringOrNil(path);
  if (!folder) return Status::Fail(kNotUtf8);
  NSError* error = nil;
  if (![[NSFileManager defaultManager] createDirectoryAtPath:folder
                                 withIntermediateDirectories:YES
                                                  attributes:nil
                                                       error:&error]) {
    return Status::Fail(Describe(error));
  }
  return Status::Ok();
}

std::optional<AgentFileContents> MacFiles::ReadAgentFile(const std::string& path) {
  // Only a regular file of modest size is read, without blocking: a named
  // pipe at the agent path must not stall the start, nor a huge file take
  // the memory. The parser then sees bytes, never the path.
  const Result<std::string> bytes = posix::ReadAgentFileBytes(path);
  if (!bytes.ok() || bytes.value().empty()) return std::nullopt;
  NSData* data = [NSData dataWithBytes:bytes.value().data() length:bytes.value().size()];
  id root = [NSPropertyListSerialization propertyListWithData:data
                                                      options:NSPropertyListImmutable
                                                       format:nullptr
                                                        error:nil];
  if (![root isKindOfClass:[NSDictionary class]]) return std::nullopt;

  NSDictionary* entries = (NSDictionary*)root;
  AgentFileContents contents;
  contents.label = StringValue(entries[@"Label"]);
  contents.program_arguments = StringArray(entries[@"ProgramArguments"]);
  return contents;
}

Result<std::string> MacFiles::SerializeAgent(const AgentDefinition& agent) {
  // An agent naming a path that is gone at the next login fails there
  // without a word, and the start-up question comes back at every launch.
  if (!agent.program_arguments.empty()) {
    if (std::optional<std::string> problem = AgentProgramProblem(agent.program_arguments.front())) {
      return Result<std::string>::Fail(*problem);
    }
  }
  NSString* label = ToNSStringOrNil(agent.label);
  NSString* process_type = ToNSStringOrNil(agent.process_type);
  NSString* out_path = ToNSStringOrNil(agent.standard_out_path);
  NSString* error_path = ToNSStringOrNil(agent.standard_error_path);
  NSMutableArray<NSString*>* arguments = [NSMutableArray array];
  for (const std::string& argument : agent.program_arguments) {
    NSString* text = ToNSStringOrNil(argument);
    if (!text) return Result<std::string>::Fail(kNotUtf8);
    [arguments addObject:text];
  }
  if (!label || !process_type || !out_path || !error_path) {
    return Result<std::string>::Fail(kNotUtf8);
  }

  NSMutableDictionary* root = [NSMutableDictionary dictionary];
  root[@"Label"] = label;
  root[@"ProgramArguments"] = arguments;
  root[@"RunAtLoad"] = [NSNumber numberWithBool:agent.run_at_load ? YES : NO];
  root[@"KeepAlive"] = [NSNumber numberWithBool:agent.keep_alive ? YES : NO];
  root[@"ProcessType"] = process_type;
  root[@"StandardOutPath"] = out_path;
  root[@"StandardErrorPath"] = error_path;

  NSError* error = nil;
  NSData* data = [NSPropertyListSerialization dataWithPropertyList:root
                                                            format:NSPropertyListXMLFormat_v1_0
                                                           options:0
                                                             error:&error];
  if (!data) return Result<std::string>::Fail(Describe(error));
  return Result<std::string>::Of(
      std::string(static_cast<const char*>(data.bytes), static_cast<size_t>(data.length)));
}

Status MacFiles::WriteFileAtomically(const std::string& path, const std::string& bytes) {
  NSString* file = ToNSStringOrNil(path);
  if (!file) return Status::Fail(kNotUtf8);
  NSData* data = [NSData dataWithBytes:bytes.data() length:bytes.size()];
  NSError* error = nil;
  if (![data writeToFile:file options:NSDataWritingAtomic error:&error]) {
    return Status::Fail(Describe(error));
  }
  return Status::Ok();
}

bool MacFiles::SetPermissions(const std::string& path, unsigned mode) {
  return chmod(path.c_str(), static_cast<mode_t>(mode)) == 0;
}

bool MacFiles::IsExecutableFile(const std::string& path) {
  NSString* file = ToNSStringOrNil(path);
  return file && [[NSFileManager defaultManager] isExecutableFileAtPath:file];
}

}  // namespace platform::macos
