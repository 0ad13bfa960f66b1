#include "scenario_runner/devices.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace runner {
namespace {

// Device numbers run from 1 (the order the devices were opened in).
constexpr uint64_t kMaxDevice = 9;
// Clock offsets up to a virtual day either way.
constexpr uint64_t kMaxOffsetMs = 86'400'000;

constexpr std::array<std::string_view, 5> kModifierWords = {"ctrl", "shift", "alt", "cmd", "rctrl"};
// The left-hand key of each, and the right Control key, as the reference
// platform numbers them.
constexpr std::array<int64_t, 5> kModifierCodes = {59, 56, 58, 55, 62};
constexpr std::array<std::string_view, 3> kButtonWords = {"left", "right", "middle"};
constexpr std::array<std::string_view, 2> kUpDown = {"down", "up"};

std::optional<int> DeviceNumber(std::string_view word) {
  const std::optional<uint64_t> n = Decimal(word, kMaxDevice);
  if (!n || *n == 0) return std::nullopt;
  return static_cast<int>(*n);
}

}  // namespace

std::optional<std::string> DeviceAction(const Tokens& w, Step& step) {
  const std::string usage =
      "'device' takes a number from 1 to 9, then 'ctrl|rctrl|shift|alt|cmd down|up', "
      "'key down|up CODE', 'button left|right|middle down|up' or 'gone'";
  const std::optional<int> device = w.size() >= 3 ? DeviceNumber(w[1]) : std::nullopt;
  if (!device) return usage;
  DeviceInput input;
  input.device = *device;
  const std::string_view what = w[2];
  if (what == "gone" && w.size() == 3) {
    input.kind = DeviceInput::Kind::kGone;
  } else if (auto m = IndexOf(what, kModifierWords); m && w.size() == 4) {
    auto ud = IndexOf(w[3], kUpDown);
    if (!ud) return usage;
    input.code = kModifierCodes[*m];
    input.down = *ud == 0;
  } else if (what == "key" && w.size() == 5) {
    auto ud = IndexOf(w[3], kUpDown);
    auto code = Decimal(w[4], INT64_MAX);
    if (!ud || !code) return usage;
    input.code = static_cast<int64_t>(*code);
    input.down = *ud == 0;
  } else if (what == "button" && w.size() == 5) {
    auto b = IndexOf(w[3], kButtonWords);
    auto ud = IndexOf(w[4], kUpDown);
    if (!b || !ud) return usage;
    input.kind = DeviceInput::Kind::kButton;
    input.code = static_cast<int64_t>(*b);
    input.down = *ud == 0;
  } else {
    return usage;
  }
  step.kind = Step::Kind::kDevice;
  step.device = input;
  return std::nullopt;
}

std::optional<std::string> HoldAction(const Tokens& w, Step& step) {
  auto ms = w.size() == 2 ? Decimal(w[1], kMaxScenarioMs) : std::nullopt;
  if (!ms) return "'hold' takes a whole number of ms up to " + std::to_string(kMaxScenarioMs);
  step.kind = Step::Kind::kHold;
  step.hold_ms = *ms;
  return std::nullopt;
}

std::optional<std::string> DeviceClock(const Tokens& w, Setup& setup) {
  const std::string usage =
      "'device' takes a number from 1 to 9, 'clock' and an offset in ms with its sign (+MS or "
      "-MS)";
  const std::optional<int> device = w.size() == 4 ? DeviceNumber(w[1]) : std::nullopt;
  if (!device || w[2] != "clock" || w[3].size() < 2) return usage;
  const char sign = w[3][0];
  auto ms = Decimal(w[3].substr(1), kMaxOffsetMs);
  if ((sign != '+' && sign != '-') || !ms) return usage;
  for (const auto& [number, offset] : setup.device_clocks) {
    if (number == *device)
      return "the clock of device " + std::to_string(number) + " is given twice";
  }
  const auto offset = static_cast<int64_t>(*ms);
  setup.device_clocks.emplace_back(*device, sign == '-' ? -offset : offset);
  return std::nullopt;
}

}  // namespace runner
