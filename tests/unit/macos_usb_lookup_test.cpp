// The macOS hub lookup's steps and the order in which it gives back every
// object it obtained, on each way out.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/macos/scoped_ref.h"
#include "platform/macos/usb_lookup.h"

namespace {

using platform::UsbFindOutcome;
using platform::macos::UsbIdKey;

// What happened, in order.
std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

// Handles name what they hold; giving one back is logged.
enum Object {
  kNone = 0,
  kMatching = 1,
  kService = 2,
  kPlugIn = 3,
  kInterface = 4,
  kIterator = 5,
  kSecondService = 6,
};
const char* Name(int object) {
  switch (object) {
    case kMatching:
      return "matching";
    case kService:
      return "service";
    case kPlugIn:
      return "plug-in";
    case kInterface:
      return "interface";
    case kIterator:
      return "iterator";
    case kSecondService:
      return "second service";
    default:
      return "?";
  }
}
struct LoggingTraits {
  static int Null() { return kNone; }
  static void Retain(int object) { Log().push_back(std::string("retain ") + Name(object)); }
  static void Release(int object) { Log().push_back(std::string("release ") + Name(object)); }
};
using Handle = platform::macos::ScopedRef<int, LoggingTraits>;

class FakeDevice : public platform::UsbDevice {
 public:
  explicit FakeDevice(Handle interface) : interface_(std::move(interface)) {}
  bool Open(platform::UsbFailure*) override { return true; }
  platform::UsbReturn DeviceRequest(platform::UsbDeviceRequest*) override { return 0; }
  void Close() override {}

 private:
  Handle interface_;
};

// The steps, each able to fail.
struct FakeApi {
  enum class Fail {
    kNothing,
    kMatching,
    kVendorNumber,
    kProductNumber,
    kSearch,
    kLookup,
    kPlugIn,
    kQuery
  };
  Fail fail = Fail::kNothing;
  int devices = 1;  // how many match: 1 or 2
  int served = 0;
  std::vector<std::pair<UsbIdKey, int32_t>> identifiers;

  Handle CreateMatching() {
    Log().push_back("create matching");
    return Handle::Adopt(fail == Fail::kMatching ? kNone : kMatching);
  }
  bool SetIdentifier(Handle& matching, UsbIdKey key, int32_t value) {
    EXPECT_EQ(matching.get(), kMatching);
    if ((key == UsbIdKey::kVendor && fail == Fail::kVendorNumber) ||
        (key == UsbIdKey::kProduct && fail == Fail::kProductNumber)) {
      return false;
    }
    identifiers.emplace_back(key, value);
    Log().push_back(key == UsbIdKey::kVendor ? "set vendor" : "set product");
    return true;
  }
  Handle GetMatchingServices(Handle matching) {
    // The system consumes the dictionary: no release from the caller.
    EXPECT_EQ(matching.release(), kMatching);
    Log().push_back("lookup");
    return Handle::Adopt(fail == Fail::kSearch ? kNone : kIterator);
  }
  Handle NextService(Handle& iterator) {
    EXPECT_EQ(iterator.get(), kIterator);
    if (fail == Fail::kLookup || served >= devices) return Handle();
    return Handle::Adopt(served++ == 0 ? kService : kSecondService);
  }
  platform::UsbCandidate Describe(const Handle& service) {
    platform::UsbCandidate candidate;
    candidate.location_id = service.get() == kService ? 0x14100000u : 0x14200000u;
    return candidate;
  }
  Handle CreatePlugIn(const Handle& service) {
    Log().push_back(std::string("create plug-in for ") + Name(service.get()));
    return Handle::Adopt(fail == Fail::kPlugIn ? kNone : kPlugIn);
  }
  Handle QueryDevice(const Handle& plugin) {
    EXPECT_EQ(plugin.get(), kPlugIn);
    Log().push_back("query");
    return Handle::Adopt(fail == Fail::kQuery ? kNone : kInterface);
  }
  std::unique_ptr<platform::UsbDevice> MakeDevice(Handle interface) {
    return std::make_unique<FakeDevice>(std::move(interface));
  }
};

class UsbLookupTest : public ::testing::Test {
 protected:
  void SetUp() override { Log().clear(); }
  platform::UsbFindResult Find(FakeApi::Fail fail,
                               const platform::UsbChooser& choose = &platform::FirstUsbDevice) {
    api_.fail = fail;
    api_.served = 0;
    return platform::macos::FindDeviceWith(api_, 0x2109, 0x8822, choose);
  }
  FakeApi api_;
};

using Steps = std::vector<std::string>;

Steps Then(Steps steps, const Steps& more) {
  steps.insert(steps.end(), more.begin(), more.end());
  return steps;
}

TEST_F(UsbLookupTest, FoundDeviceGivesBackPlugInThenServiceAndKeepsOnlyTheInterface) {
  platform::UsbFindResult result = Find(FakeApi::Fail::kNothing);
  EXPECT_EQ(result.outcome, UsbFindOutcome::kFound);
  ASSERT_NE(result.device, nullptr);
  EXPECT_EQ(Log(),
            (Steps{"create matching", "set vendor", "set product", "lookup", "release iterator",
                   "create plug-in for service", "query", "release plug-in", "release service"}));
  result.device.reset();
  EXPECT_EQ(Log().back(), "release interface");
}

TEST_F(UsbLookupTest, IdentifiersGoInAsSigned32BitNumbersVendorFirst) {
  (void)Find(FakeApi::Fail::kNothing);
  ASSERT_EQ(api_.identifiers.size(), 2u);
  EXPECT_EQ(api_.identifiers[0], std::make_pair(UsbIdKey::kVendor, int32_t{0x2109}));
  EXPECT_EQ(api_.identifiers[1], std::make_pair(UsbIdKey::kProduct, int32_t{0x8822}));

  // The widest IDs stay positive.
  api_.identifiers.clear();
  api_.served = 0;
  (void)platform::macos::FindDeviceWith(api_, 0xFFFF, 0x8000);
  EXPECT_EQ(api_.identifiers[0].second, 65535);
  EXPECT_EQ(api_.identifiers[1].second, 32768);
}

// Each step that fails: what the lookup says, and every object obtained up
// to it given back, in order.
TEST_F(UsbLookupTest, EachFailedStepGivesBackWhatItObtained) {
  using Fail = FakeApi::Fail;
  struct Case {
    Fail fail;
    UsbFindOutcome outcome;
    std::string line;
    Steps steps;
  };
  const std::string no_matching = "IOServiceMatching failed";
  const Steps looked_up = {"create matching", "set vendor", "set product", "lookup",
                           "release iterator"};
  const Steps to_plug_in = {"create matching", "set vendor",       "set product",
                            "lookup",          "release iterator", "create plug-in for service"};
  const Case cases[] = {
      // No matching dictionary: it stops before anything else.
      {Fail::kMatching, UsbFindOutcome::kNoSearch, no_matching, {"create matching"}},
      // An identifier that cannot be made gives the dictionary back without
      // a lookup: a half-filled one could open another device.
      {Fail::kVendorNumber, UsbFindOutcome::kNoSearch, no_matching,
       Then({"create matching"}, {"release matching"})},
      {Fail::kProductNumber, UsbFindOutcome::kNoSearch, no_matching,
       Then({"create matching", "set vendor"}, {"release matching"})},
      // No search of the registry is told as such.
      {Fail::kSearch, UsbFindOutcome::kNoSearch, "IOServiceGetMatchingServices failed",
       Then({"create matching", "set vendor", "set product"}, {"lookup"})},
      // No matching service: the dictionary the lookup consumed is left alone.
      {Fail::kLookup, UsbFindOutcome::kNotAttached, "USB device not found (VID=0x2109 PID=0x8822)",
       looked_up},
      // No plug-in gives the service back; no device interface still gives
      // back the plug-in, then the service.
      {Fail::kPlugIn, UsbFindOutcome::kNoInterface, "IOCreatePlugInInterfaceForService failed",
       Then(to_plug_in, {"release service"})},
      {Fail::kQuery, UsbFindOutcome::kNoInterface, "QueryInterface (DeviceInterface) failed",
       Then(to_plug_in, {"query", "release plug-in", "release service"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "failing step " << static_cast<int>(c.fail));
    Log().clear();
    const platform::UsbFindResult result = Find(c.fail);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.line, c.line);
    EXPECT_EQ(result.device, nullptr);
    EXPECT_EQ(Log(), c.steps);
  }
}

TEST_F(UsbLookupTest, TwoDevicesAreBothShownToTheChooserAndOnlyItsPickIsOpened) {
  api_.devices = 2;
  std::vector<platform::UsbCandidate> shown;
  auto second = [&shown](const std::vector<platform::UsbCandidate>& candidates) {
    shown = candidates;
    return std::optional<size_t>(1);
  };
  platform::UsbFindResult result = Find(FakeApi::Fail::kNothing, second);
  ASSERT_EQ(result.outcome, UsbFindOutcome::kFound);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].location_id, 0x14100000u);
  EXPECT_EQ(shown[1].location_id, 0x14200000u);
  EXPECT_EQ(result.candidates.size(), 2u);
  EXPECT_EQ(result.chosen, std::optional<size_t>(1));
  // The service not chosen goes before the chosen one is used.
  EXPECT_EQ(Log(),
            (Steps{"create matching", "set vendor", "set product", "lookup", "release iterator",
                   "release service", "create plug-in for second service", "query",
                   "release plug-in", "release second service"}));

  // None chosen: every service is given back and nothing is made.
  result.device.reset();
  Log().clear();
  auto none = [](const std::vector<platform::UsbCandidate>&) { return std::optional<size_t>(); };
  result = Find(FakeApi::Fail::kNothing, none);
  EXPECT_EQ(result.outcome, UsbFindOutcome::kNotChosen);
  EXPECT_EQ(result.device, nullptr);
  EXPECT_EQ(result.candidates.size(), 2u);
  EXPECT_EQ(Log(), (Steps{"create matching", "set vendor", "set product", "lookup",
                          "release iterator", "release service", "release second service"}));
}

}  // namespace
