// The receive monitor's frame counter runs from 65535 to 0. A program of
// its own: 65535 frames through the receive thread take longer than the
// other Wine tests are given.
#include <windows.h>

#include <gtest/gtest.h>

#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "support/traffic_fixture.h"

namespace qz6::mon::test {
namespace {

namespace sim = qz6::test;

using ReceiveCounter = TrafficTest;

TEST_F(ReceiveCounter, WrapsFrom65535ToZero)
{
    Command(IDM_ENABLE_COMMUNICATIONS);
    ASSERT_NE(Detail(), nullptr);
    // With both boxes unchecked a frame costs the thread only its two box
    // reads; the counter still counts every frame.
    Click(Detail(), IDC_RDETAIL_DISPLAY);
    Click(Detail(), IDC_RDETAIL_COUNT);
    ASSERT_TRUE(sim::SimGenerator(0, true, 4, 0, 65534));
    DWORD next_look = 0;
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (GetTickCount() < next_look)
                return false;
            next_look = GetTickCount() + 250;
            const SimAdapterStatus adapter = sim::SimAdapter(0);
            return adapter.generator_count == 65534 && adapter.rx_queued == 0 && adapter.pending_receives == 1;
        },
        500000));
    EXPECT_EQ(CounterText(), "0") << "not shown while \"Count:\" is unchecked";
    Click(Detail(), IDC_RDETAIL_COUNT);
    InjectAndWait({0x01});
    EXPECT_EQ(CounterText(), "65535");
    InjectAndWait({0x02});
    EXPECT_EQ(CounterText(), "0");
    EXPECT_EQ(sim::SimAdapter(0).frames_dropped, 0u);
    EXPECT_EQ(ListCount(), 0);
}

}  // namespace
}  // namespace qz6::mon::test
