#include "shared/setting_words.h"

#include <string>

std::string DescribeSettingValue(const platform::SettingValue& value,
                                 const std::string& text_words) {
  using Kind = platform::SettingValue::Kind;
  switch (value.kind) {
    case Kind::kBoolean:
      return value.boolean ? "true" : "false";
    case Kind::kInteger:
      return "the number " + std::to_string(value.integer);
    case Kind::kText:
      return text_words;
    case Kind::kList:
      return "an array";
    case Kind::kOther:
      break;
  }
  return value.text.empty() ? "a value of another type" : value.text;
}
