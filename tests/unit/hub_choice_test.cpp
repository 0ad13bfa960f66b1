// Which hub is used among devices with the hub's IDs, and what the hub
// setting accepts.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gestures/gesture_settings.h"
#include "hub/hook_settings.h"
#include "hub/hub_choice.h"

namespace {

using platform::UsbCandidate;

UsbCandidate AtPort(int bus, const std::string& port, const std::string& serial = "") {
  UsbCandidate c;
  c.location = platform::UsbLocation{bus, port};
  c.serial = serial;
  return c;
}

UsbCandidate AtLocation(uint32_t id, const std::string& serial = "") {
  UsbCandidate c;
  c.location_id = id;
  c.serial = serial;
  return c;
}

TEST(HubChoice, PicksOnlyWhatIsNamedOrAlone) {
  using V = HubPickVerdict;
  const std::vector<UsbCandidate> one = {AtPort(1, "2", "A1")};
  const std::vector<UsbCandidate> two = {AtPort(1, "2", "A1"), AtPort(1, "3.1", "B7")};
  const std::vector<UsbCandidate> shared = {AtPort(1, "2", "S"), AtPort(2, "2", "S")};
  const std::vector<UsbCandidate> mac = {AtLocation(0x14100000), AtLocation(0x14200000, "B7")};
  struct Case {
    const char* what;
    const std::vector<UsbCandidate>* candidates;
    std::string setting;
    V verdict;
    std::optional<size_t> index;
  };
  const Case cases[] = {
      {"one, nothing set: as before", &one, "", V::kOnly, 0},
      {"two, nothing set: no guess", &two, "", V::kSeveral, std::nullopt},
      {"one, named by port path", &one, "1-2", V::kChosen, 0},
      {"one, another named: absent, not replaced", &one, "1-3", V::kAbsent, std::nullopt},
      {"two, by a deeper port path", &two, "1-3.1", V::kChosen, 1},
      {"two, by serial", &two, "A1", V::kChosen, 0},
      {"a port path is exact, not a prefix", &two, "1-3", V::kAbsent, std::nullopt},
      {"the bus counts", &shared, "2-2", V::kChosen, 1},
      {"a shared serial names both: none", &shared, "S", V::kSeveralMatch, std::nullopt},
      {"a serial is exact, case included", &two, "b7", V::kAbsent, std::nullopt},
      {"by location ID", &mac, "0x14100000", V::kChosen, 0},
      {"a location ID in capitals", &mac, "0X14200000", V::kChosen, 1},
      {"a location ID in other digits' case", &mac, "0x14200000", V::kChosen, 1},
      {"a location ID without 0x is no location ID", &mac, "14200000", V::kAbsent, std::nullopt},
      {"a port path does not name a location", &mac, "1-2", V::kAbsent, std::nullopt},
      {"a serial where locations tell apart", &mac, "B7", V::kChosen, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const HubPick pick = PickHub(*c.candidates, c.setting);
    EXPECT_EQ(pick.verdict, c.verdict);
    EXPECT_EQ(pick.index, c.index);
  }
}

TEST(HubChoice, SettingTakesOneUsableText) {
  using platform::SettingValue;
  auto text = [](const std::string& t) {
    SettingValue v;
    v.kind = SettingValue::Kind::kText;
    v.text = t;
    return v;
  };
  SettingValue number;
  number.kind = SettingValue::Kind::kInteger;
  number.integer = 3;
  struct Case {
    const char* key;
    SettingValue value;
    platform::SettingNames names;
    bool known;
    std::string hub;      // what is in force afterwards
    std::string problem;  // the start of the problem; "" for none
  };
  const auto snake = platform::SettingNames::kSnakeCase;
  const auto camel = platform::SettingNames::kCamelCase;
  const Case cases[] = {
      {"hub", text("1-4.2"), snake, true, "1-4.2", ""},
      {"Hub", text("0x14200000"), camel, true, "0x14200000", ""},
      {"Hub", text("1-2"), snake, false, "old", ""},  // a file spells it hub
      {"hub", number, snake, true, "",
       "hub must be a port path (\"1-4.2\"), a location ID (\"0x14200000\") or a serial number, "
       "not the number 3; no hub is chosen by it"},
      {"hub", text(""), snake, true, "", "hub is empty; no hub is chosen by it"},
      {"hub", text(std::string(kMaxHubSettingBytes + 1, 'x')), snake, true, "",
       "hub is longer than 128 bytes"},
      {"hub", text("A\nB"), snake, true, "", "hub holds a control character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key + (" = " + c.value.text.substr(0, 20)));
    platform::SettingEntry entry;
    entry.key = c.key;
    entry.value = c.value;
    std::string hub = "old";
    const HubSettingCheck check = CheckHubSetting(entry, c.names, hub);
    EXPECT_EQ(check.known, c.known);
    EXPECT_EQ(hub, c.hub);
    EXPECT_EQ(check.problem.value_or("").rfind(c.problem, 0), 0u) << check.problem.value_or("");
    EXPECT_EQ(check.problem.has_value(), !c.problem.empty());
  }
}

TEST(HubChoice, CandidatesAreNamedAsTheSettingTakesThem) {
  EXPECT_EQ(HubCandidateText(AtPort(3, "1.4", "A1")), "port 3-1.4 serial A1");
  EXPECT_EQ(HubCandidateText(AtLocation(0x14200000)), "location 0x14200000");
  EXPECT_EQ(HubCandidateText(UsbCandidate{}), "a hub with no port path or serial");
  UsbCandidate serial_only;
  serial_only.serial = "Z9";
  EXPECT_EQ(HubCandidateText(serial_only), "serial Z9");
  // What a list shows is what the setting takes.
  for (const UsbCandidate& c : {AtPort(3, "1.4"), AtLocation(0x00000001)}) {
    EXPECT_TRUE(HubCandidateMatches(c, HubCandidateName(c))) << HubCandidateName(c);
  }
}

// Read again with a hub in force: a value that cannot be used keeps it (and
// says so), one left out chooses none, an unreadable file changes nothing.
TEST(HubChoice, AReadAgainKeepsTheHubInForceForARefusedValue) {
  using platform::SettingValue;
  auto entry = [](SettingValue::Kind kind, const std::string& text) {
    platform::SettingEntry e;
    e.key = "hub";
    e.line = 1;
    e.value.kind = kind;
    e.value.text = text;
    e.value.integer = 13;
    return e;
  };
  const std::string must =
      "/c:1: hub must be a port path (\"1-4.2\"), a location ID (\"0x14200000\") or a serial "
      "number, not the number 13";
  struct Case {
    const char* what;
    std::vector<platform::SettingEntry> entries;
    bool unreadable;
    std::string kept;
    std::string hub;
    std::string says;  // the one problem; "" for none
  };
  const Case cases[] = {
      {"a usable value chooses",
       {entry(SettingValue::Kind::kText, "1-3")},
       false,
       "1-2",
       "1-3",
       ""},
      {"a number is refused, 1-2 stays",
       {entry(SettingValue::Kind::kInteger, "")},
       false,
       "1-2",
       "1-2",
       must + "; the hub chosen stays \"1-2\""},
      {"an empty text too",
       {entry(SettingValue::Kind::kText, "")},
       false,
       "1-2",
       "1-2",
       "/c:1: hub is empty; the hub chosen stays \"1-2\""},
      {"none in force: none, in the words of the start",
       {entry(SettingValue::Kind::kInteger, "")},
       false,
       "",
       "",
       must + "; no hub is chosen by it"},
      {"left out: none", {}, false, "1-2", "", ""},
      {"unreadable: it stays",
       {},
       true,
       "1-2",
       "1-2",
       "/c:4: broken; every setting stays as it was"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::SettingsRead read;
    read.entries = c.entries;
    if (c.unreadable) {
      read.failure = "broken";
      read.failure_line = 4;
    }
    const SettingsOutcome out =
        CheckSettings(read, platform::SettingNames::kSnakeCase, "/c", {}, {}, c.kept);
    EXPECT_EQ(out.hub, c.hub);
    EXPECT_EQ(out.problems,
              c.says.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.says});
  }
}

// The hooks hear of a device coming or going only when it is the hub the
// tool uses: the one the setting names, or the only one.
TEST(HubChoice, OnlyTheHubInUseIsHeardComingAndGoing) {
  const UsbCandidate a = AtPort(1, "2", "A1");
  const UsbCandidate b = AtPort(1, "3");
  const UsbCandidate m1 = AtLocation(0x14100000);
  const UsbCandidate m2 = AtLocation(0x14200000);
  using Loc = std::optional<platform::UsbLocation>;
  const Loc at2 = platform::UsbLocation{1, "2"};
  const Loc at3 = platform::UsbLocation{1, "3"};
  using List = std::vector<UsbCandidate>;
  struct Case {
    const char* what;
    bool arrived;
    Loc at;
    List before, after;
    std::string setting;
    bool heard;
  };
  const Case cases[] = {
      {"the only one leaves", false, at2, {a}, {}, "", true},
      {"the only one arrives", true, at2, {}, {a}, "", true},
      {"a second arrives, nothing set: none is used", true, at3, {a}, {a, b}, "", false},
      {"one of two leaves, nothing set: none was used", false, at3, {a, b}, {a}, "", false},
      {"the chosen one leaves", false, at3, {a, b}, {a}, "1-3", true},
      {"the other one leaves", false, at2, {a, b}, {b}, "1-3", false},
      {"the chosen one arrives beside the other", true, at3, {a}, {a, b}, "1-3", true},
      {"the other one arrives beside the chosen", true, at2, {b}, {a, b}, "1-3", false},
      {"chosen by serial, gone: its serial known from before", false, at2, {a, b}, {b}, "A1", true},
      {"a chosen one absent: another arriving is not it", true, at2, {}, {a}, "1-4", false},
      {"no port path: the one that came", true, std::nullopt, {m1}, {m1, m2}, "0x14200000", true},
      {"no port path: the only one went", false, std::nullopt, {m1}, {}, "", true},
      {"no port path: one of two went", false, std::nullopt, {m1, m2}, {m2}, "", false},
      {"nothing tells which: not heard", false, std::nullopt, {}, {}, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<UsbCandidate> device = ChangedHubDevice(c.arrived, c.at, c.before, c.after);
    EXPECT_EQ(device && IsHubInUse(*device, c.after, c.setting), c.heard);
  }
}

}  // namespace
