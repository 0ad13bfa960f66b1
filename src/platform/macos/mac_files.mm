#include "platform/macos/mac_files.h"

#import <Foundation/Foundation.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#import "platform/macos/ns_text.h"

namespace platform::macos {
namespace {

// The platform's description of a failure, for the tool's "%@".
std::string Describe(NSError* error) {
  return error ? FromNSString(error.localizedDescription) : std::string("Unknown error.");
}

constexpr const char* kNotUtf8 = "The text is not valid UTF-8.";

// The strings of `value` when it is an array of strings only.
std::optional<std::vector<std::string>> StringArray(id value) {
  if (![value isKindOfClass:[NSArray class]]) return std::nullopt;
  std::vector<std::string> out;
  for (id element in (NSArray*)value) {
    if (![element isKindOfClass:[NSString class]]) return std::nullopt;
    out.push_back(FromNSString((NSString*)element));
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
  NSString* file = ToNSStringOrNil(path);
  if (!file) return std::nullopt;
  NSDictionary* root = [NSDictionary dictionaryWithContentsOfFile:file];
  if (!root) return std::nullopt;

  AgentFileContents contents;
  id label = root[@"Label"];
  if ([label isKindOfClass:[NSString class]]) contents.label = FromNSString((NSString*)label);
  contents.program_arguments = StringArray(root[@"ProgramArguments"]);
  return contents;
}

Result<std::string> MacFiles::SerializeAgent(const AgentDefinition& agent) {
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
