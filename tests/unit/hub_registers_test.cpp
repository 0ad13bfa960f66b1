// The register protocol against a scripted device: the request blocks sent
// and the trace lines written.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hub/hub_registers.h"
#include "output/show_msg.h"
#include "support/usb_setup.h"

namespace {

// A device interface that records each request block (with the data buffer
// as it was when the request arrived) and answers as scripted.
class ScriptedDevice : public platform::UsbDevice {
 public:
  struct Seen {
    platform::UsbDeviceRequest block;
    std::vector<uint8_t> data_at_call;  // first two bytes of pData, if any
  };

  platform::UsbReturn answer = platform::kUsbSuccess;
  bool fills_data = true;  // false: completes without a data byte
  uint8_t data_byte = 0;
  uint32_t reported_length = 1;
  std::vector<Seen> seen;

  bool Open(platform::UsbFailure*) override { return true; }
  void Close() override {}
  platform::UsbReturn DeviceRequest(platform::UsbDeviceRequest* request) override {
    Seen s{*request, {}};
    if (request->pData != nullptr) {
      const auto* bytes = static_cast<const uint8_t*>(request->pData);
      s.data_at_call.assign(bytes, bytes + 2);
    }
    seen.push_back(s);
    request->wLenDone = reported_length;
    if (answer == platform::kUsbSuccess && fills_data && request->wLength > 0) {
      static_cast<uint8_t*>(request->pData)[0] = data_byte;
    }
    return answer;
  }
};

class HubRegistersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gConsoleMode = true;
    gLogFile = false;
    gDbgMsg = true;
    testing::internal::CaptureStdout();
  }
  void TearDown() override {
    if (!captured_) (void)testing::internal::GetCapturedStdout();
    gConsoleMode = false;
    gDbgMsg = true;
  }
  std::string Console() {
    captured_ = true;
    return testing::internal::GetCapturedStdout();
  }

  ScriptedDevice device_;
  bool captured_ = false;
};

TEST_F(HubRegistersTest, ReadSendsAVendorInRequestAndTracesTheByte) {
  device_.data_byte = 0x01;
  uint8_t value = 0xAA;
  EXPECT_TRUE(Hub_Read_Register(&device_, 0xF5, 0x0000, &value));
  EXPECT_EQ(value, 0x01);
  ASSERT_EQ(device_.seen.size(), 1u);
  EXPECT_EQ(usb_test::SetupOf(device_.seen[0].block), usb_test::kReadF5);
  ASSERT_NE(device_.seen[0].block.pData, nullptr);
  EXPECT_EQ(device_.seen[0].data_at_call, (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(Console(), "    Read-Reg F5-0000 = 0x01 \n");
}

TEST_F(HubRegistersTest, ReadTracesAddressInUpperCaseHex) {
  device_.data_byte = 0xAB;
  uint8_t value = 0;
  EXPECT_TRUE(Hub_Read_Register(&device_, 0xF8, 0x008F, &value));
  EXPECT_EQ(device_.seen[0].block.wValue, 0x008F);
  EXPECT_EQ(Console(), "    Read-Reg F8-008F = 0xAB \n");
}

TEST_F(HubRegistersTest, FailedReadLeavesTheByteAndTracesEvenWhenTracingIsOff) {
  device_.answer = 0x2ED;  // any non-success code
  device_.data_byte = 0x77;
  gDbgMsg = false;
  uint8_t value = 0x5A;
  EXPECT_FALSE(Hub_Read_Register(&device_, 0xF5, 0x0000, &value));
  EXPECT_EQ(value, 0x5A);
  EXPECT_EQ(Console(), "Read-Reg F5-0000 Fail\n");
}

TEST_F(HubRegistersTest, ReadJudgedByReturnCodeNotByteCount) {
  // Success without a data byte: the cleared buffer's 0 is stored.
  device_.fills_data = false;
  device_.reported_length = 0;
  uint8_t value = 0x99;
  EXPECT_TRUE(Hub_Read_Register(&device_, 0xF5, 0x0000, &value));
  EXPECT_EQ(value, 0x00);
  // A failure code with a byte reported is still a failure.
  device_.answer = 1;
  device_.reported_length = 1;
  value = 0x99;
  EXPECT_FALSE(Hub_Read_Register(&device_, 0xF5, 0x0000, &value));
  EXPECT_EQ(value, 0x99);
  EXPECT_EQ(Console(), "    Read-Reg F5-0000 = 0x00 \nRead-Reg F5-0000 Fail\n");
}

TEST_F(HubRegistersTest, WriteCarriesTheValueInIndexWithoutDataStage) {
  EXPECT_TRUE(Hub_Write_Register(&device_, 0xF5, 0x0000, 0x00));
  EXPECT_TRUE(Hub_Write_Register(&device_, 0xF5, 0x0000, 0xFE));
  ASSERT_EQ(device_.seen.size(), 2u);
  EXPECT_EQ(usb_test::SetupOf(device_.seen[0].block), usb_test::WriteF5(0x00));
  EXPECT_EQ(device_.seen[1].block.wIndex, 0x00FE);  // zero-extended, not sign-extended
  // The value never appears in the trace.
  EXPECT_EQ(Console(), "    Write-Reg F5-0000 OK\n    Write-Reg F5-0000 OK\n");
}

TEST_F(HubRegistersTest, FailedWriteTracesWhateverTheSwitchSays) {
  device_.answer = -1;
  EXPECT_FALSE(Hub_Write_Register(&device_, 0xF5, 0x0000, 0x01));
  gDbgMsg = false;
  EXPECT_FALSE(Hub_Write_Register(&device_, 0xF8, 0x008F, 0x01));
  EXPECT_EQ(Console(), "Write-Reg F5-0000 Fail\nWrite-Reg F8-008F Fail\n");
}

TEST_F(HubRegistersTest, TracingOffSilencesOnlySuccesses) {
  gDbgMsg = false;
  uint8_t value = 0;
  EXPECT_TRUE(Hub_Read_Register(&device_, 0xF5, 0x0000, &value));
  EXPECT_TRUE(Hub_Write_Register(&device_, 0xF5, 0x0000, 0x01));
  EXPECT_EQ(device_.seen.size(), 2u);
  EXPECT_EQ(Console(), "");
}

TEST_F(HubRegistersTest, MissingDeviceOrOutputIsAFailedTransfer) {
  uint8_t value = 0x33;
  EXPECT_FALSE(Hub_Read_Register(nullptr, 0xF5, 0x0000, &value));
  EXPECT_EQ(value, 0x33);
  EXPECT_FALSE(Hub_Read_Register(&device_, 0xF5, 0x0000, nullptr));
  EXPECT_FALSE(Hub_Write_Register(nullptr, 0xF5, 0x0000, 0x01));
  EXPECT_TRUE(device_.seen.empty());
  EXPECT_EQ(Console(), "Read-Reg F5-0000 Fail\nRead-Reg F5-0000 Fail\nWrite-Reg F5-0000 Fail\n");
}

}  // namespace
