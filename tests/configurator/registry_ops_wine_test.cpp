// The configurator's registry operations on the real registry of the test
// prefix; the service key is saved before each test and put back after it.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "configurator/registry_ops.h"
#include "tests/configurator/service_key.h"

namespace qz6::conf::test {
namespace {

class RegistryOps : public ::testing::Test {
protected:
    ServiceKeySnapshot snapshot_;
};

TEST_F(RegistryOps, ReadingAnAbsentKeyGivesZeroAndCreatesNothing)
{
    DeleteKey(kParametersKey);
    for (const char* name : {"IoBaseAddress", "SharedMemoryAddress", "InterruptNumber"})
        EXPECT_EQ(ReadDeviceValue(name, 3), 0u) << name;
    EXPECT_FALSE(KeyExists(kParametersKey));
}

TEST_F(RegistryOps, FirstWriteCreatesEveryMissingKeyAtOnce)
{
    DeleteKey(kParametersKey);
    WriteDeviceValue("IoBaseAddress", 0x350, 5);
    EXPECT_EQ(SubkeyNames(kParametersKey), (std::vector<std::string>{"Zurezi6c5"}));
    EXPECT_EQ(DwordValue(DeviceKey(5), "IoBaseAddress"), 0x350u);

    // Even the service key, then without values.
    DeleteServiceKey();
    WriteDeviceValue("InterruptNumber", 7, 1);
    EXPECT_TRUE(ValueNames(kServiceKey).empty());
    EXPECT_EQ(DwordValue(DeviceKey(1), "InterruptNumber"), 7u);
}

TEST_F(RegistryOps, DeletingAnAbsentAdapterOnlyCreatesTheParametersKey)
{
    DeleteKey(kParametersKey);
    DeleteDeviceKey(4);
    EXPECT_TRUE(KeyExists(kParametersKey));
    EXPECT_TRUE(SubkeyNames(kParametersKey).empty());
    EXPECT_TRUE(ValueNames(kParametersKey).empty());

    WriteAdapter(0, 0x360, 0xD0000, 5);
    std::string before = DescribeTree(kServiceKey);
    DeleteDeviceKey(4);
    EXPECT_EQ(DescribeTree(kServiceKey), before);
}

// Only the eight adapters have keys: no other number names one.
TEST_F(RegistryOps, NumbersBeyondSevenTouchNoKey)
{
    SetDwordValue(kParametersKey + "\\Zurezi6c8", "InterruptNumber", 5);
    std::string before = DescribeTree(kServiceKey);
    for (uint8_t n : {uint8_t{8}, uint8_t{9}, uint8_t{255}}) {
        EXPECT_EQ(ReadDeviceValue("InterruptNumber", n), 0u);
        WriteDeviceValue("InterruptNumber", 3, n);
        DeleteDeviceKey(n);
    }
    EXPECT_EQ(DescribeTree(kServiceKey), before);
}

}  // namespace
}  // namespace qz6::conf::test
