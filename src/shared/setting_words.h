// How a settings value the tool refuses is named in the line that refuses
// it.
#pragma once

#include <string>

#include "platform/settings.h"

// "true", "the number 5", "an array", or the reader's own words for another
// kind; a text value is named by `text_words`, which each setting chooses
// (some repeat the text, some do not).
std::string DescribeSettingValue(const platform::SettingValue& value,
                                 const std::string& text_words);
