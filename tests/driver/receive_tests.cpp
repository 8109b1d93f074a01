// IOCTL_STREAM_RECEIVE: a call that waits in the driver, what delivers a
// frame into it, and everything that must release it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/device_support.h"
#include "support/window_support.h"

namespace qz6::test {
namespace {

// A receive call issued on its own thread, as the monitor's receive thread
// does, so the test thread can act while it waits in the driver.
class PendingReceive {
public:
    explicit PendingReceive(HANDLE device) : device_(device)
    {
        thread_ = CreateThread(nullptr, 0, &PendingReceive::Run, this, 0, nullptr);
    }
    ~PendingReceive()
    {
        if (thread_ != nullptr) {
            WaitForSingleObject(thread_, 10000);
            CloseHandle(thread_);
        }
    }
    bool Finished(DWORD timeout_ms = 5000) { return WaitForSingleObject(thread_, timeout_ms) == WAIT_OBJECT_0; }
    HANDLE Thread() const { return thread_; }
    const CallResult& Result() const { return result_; }
    const ReceiveRecord& Record() const { return record_; }

private:
    static DWORD WINAPI Run(void* self)
    {
        auto* me = static_cast<PendingReceive*>(self);
        me->record_.status = 0;
        me->result_ = Receive(me->device_, &me->record_, sizeof(me->record_));
        return 0;
    }

    HANDLE device_;
    HANDLE thread_ = nullptr;
    CallResult result_{};
    ReceiveRecord record_{};
};

bool ReceiveIsWaiting(unsigned adapter, uint32_t count = 1)
{
    return WaitUntil([&] { return SimAdapter(adapter).pending_receives == count; });
}

class ReceiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SimReset());
        adapter_ = OpenAdapter(0);
        ASSERT_TRUE(adapter_.Valid());
        ASSERT_EQ(Configure(adapter_.Get(), DefaultConfiguration(2048000)), RETURN_SUCCESS);
        ASSERT_EQ(RunCommand(adapter_.Get(), ENABLE_COMMS), RETURN_SUCCESS);
    }
    HANDLE device() const { return adapter_.Get(); }

    DeviceHandle adapter_;
};

TEST_F(ReceiveTest, WaitingReceiveLetsOtherThreadsCommandsThroughAndGetsTheNextFrame)
{
    PendingReceive receive(device());
    ASSERT_TRUE(ReceiveIsWaiting(0));

    DeviceHandle second = OpenAdapter(0);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(RunCommand(second.Get(), READ_STATUS), RETURN_SUCCESS) << i;
    EXPECT_FALSE(receive.Finished(0)) << "no frame yet";

    const uint8_t frame[] = {0x7E, 0x01, 0xFF};
    ASSERT_EQ(SimInject(0, frame, 0x41), INJECT_QUEUED);
    ASSERT_TRUE(receive.Finished());
    ASSERT_TRUE(receive.Result().ok) << receive.Result().error;
    EXPECT_EQ(receive.Record().status, RECEIVE_FRAME_PRESENT);
    EXPECT_EQ(receive.Record().frame_length, 3);
    EXPECT_EQ(receive.Record().frame_bits & 0x41, 0x41);
    EXPECT_EQ(std::memcmp(receive.Record().frame_data, frame, 3), 0);
    EXPECT_EQ(SimAdapter(0).pending_receives, 0u);
}

TEST_F(ReceiveTest, DisableCommsReleasesTheWaitingReceive)
{
    PendingReceive receive(device());
    ASSERT_TRUE(ReceiveIsWaiting(0));
    DeviceHandle second = OpenAdapter(0);
    ASSERT_EQ(RunCommand(second.Get(), DISABLE_COMMS), RETURN_SUCCESS);
    ASSERT_TRUE(receive.Finished());
    EXPECT_TRUE(!receive.Result().ok || receive.Record().status != RECEIVE_FRAME_PRESENT);

    // With the channel disabled a new receive does not wait at all.
    static ReceiveRecord record;
    const CallResult result = Receive(device(), &record, sizeof(record));
    EXPECT_TRUE(!result.ok || record.status != RECEIVE_FRAME_PRESENT);
}

TEST_F(ReceiveTest, CancelFromAnotherThreadReleasesTheWaitingReceive)
{
    PendingReceive receive(device());
    ASSERT_TRUE(ReceiveIsWaiting(0));
    EXPECT_TRUE(CancelIoEx(device(), nullptr) || GetLastError() == ERROR_NOT_FOUND);
    ASSERT_TRUE(receive.Finished());
    EXPECT_FALSE(receive.Result().ok);
    EXPECT_EQ(receive.Result().error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_TRUE(ReceiveIsWaiting(0, 0));

    // The adapter goes on receiving afterwards.
    const uint8_t frame[] = {1, 2};
    ASSERT_EQ(SimInject(0, frame), INJECT_QUEUED);
    static ReceiveRecord record;
    ASSERT_TRUE(Receive(device(), &record, sizeof(record)).ok);
    EXPECT_EQ(record.status, RECEIVE_FRAME_PRESENT);
}

TEST_F(ReceiveTest, ClosingTheHandleReleasesTheWaitingReceive)
{
    DeviceHandle own = OpenAdapter(0);
    PendingReceive receive(own.Get());
    ASSERT_TRUE(ReceiveIsWaiting(0));
    own.Reset();
    ASSERT_TRUE(receive.Finished());
    EXPECT_TRUE(!receive.Result().ok || receive.Record().status != RECEIVE_FRAME_PRESENT);
    EXPECT_TRUE(ReceiveIsWaiting(0, 0));
    EXPECT_TRUE(WaitUntil([] { return SimAdapter(0).open_handles == 1; }));
}

TEST_F(ReceiveTest, EndOfTheWaitingThreadReleasesTheReceive)
{
    PendingReceive receive(device());
    ASSERT_TRUE(ReceiveIsWaiting(0));
    ASSERT_TRUE(TerminateThread(receive.Thread(), 7));
    ASSERT_TRUE(receive.Finished());
    EXPECT_TRUE(ReceiveIsWaiting(0, 0));
}

TEST_F(ReceiveTest, WaitingReceiveNeverKeepsItsProcessFromEnding)
{
    std::string path = ProgramBeside("receive_waiter.exe");

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        << GetLastError();
    ASSERT_TRUE(ReceiveIsWaiting(0)) << "the child's receive waits in the driver";
    ASSERT_TRUE(TerminateProcess(process.hProcess, 9));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 5000), WAIT_OBJECT_0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_TRUE(ReceiveIsWaiting(0, 0));
    EXPECT_TRUE(WaitUntil([] { return SimAdapter(0).open_handles == 1; })) << "the child's handle is gone";
}

TEST_F(ReceiveTest, UnpluggingReleasesTheReceiveAndTheDeviceGoesAway)
{
    PendingReceive receive(device());
    ASSERT_TRUE(ReceiveIsWaiting(0));
    ASSERT_TRUE(SimPlug(0, false));
    ASSERT_TRUE(receive.Finished());
    EXPECT_TRUE(!receive.Result().ok || receive.Record().status != RECEIVE_FRAME_PRESENT);

    DWORD error = 0;
    EXPECT_FALSE(OpenAdapter(0, &error).Valid());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RunCommand(device(), READ_STATUS), NO_RESPONSE_CODE) << "the old handle reaches no adapter";

    ASSERT_TRUE(SimPlug(0, true));
    DeviceHandle again = OpenAdapter(0);
    ASSERT_TRUE(again.Valid());
    EXPECT_EQ(RunCommand(again.Get(), READ_STATUS), RETURN_SUCCESS);
    EXPECT_NE(RunCommand(again.Get(), READ_CONFIGURATION), RETURN_SUCCESS) << "a replugged adapter starts unconfigured";
}

TEST_F(ReceiveTest, ScriptedReceiveFailuresFailTheCall)
{
    ASSERT_TRUE(SimFailReceives(0, 1));
    static ReceiveRecord record;
    record.status = 0;
    const CallResult failed = Receive(device(), &record, sizeof(record));
    EXPECT_FALSE(failed.ok);

    const uint8_t frame[] = {5};
    ASSERT_EQ(SimInject(0, frame), INJECT_QUEUED);
    EXPECT_TRUE(Receive(device(), &record, sizeof(record)).ok);
    EXPECT_EQ(record.status, RECEIVE_FRAME_PRESENT);
}

TEST_F(ReceiveTest, RecordIsNeverWrittenPastTheCallersBuffer)
{
    static uint8_t frame[4000];
    for (unsigned i = 0; i < sizeof(frame); ++i)
        frame[i] = static_cast<uint8_t>(i);
    StreamingConfiguration configuration = DefaultConfiguration(2048000);
    configuration.max_frame_size = 8000;
    ASSERT_EQ(Configure(device(), configuration), RETURN_SUCCESS);
    ASSERT_EQ(RunCommand(device(), ENABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(SimInject(0, frame), INJECT_QUEUED);

    static uint8_t buffer[200];
    std::memset(buffer, 0xEE, sizeof(buffer));
    const CallResult result = Receive(device(), buffer, 100);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_LE(result.returned, 100u);
    EXPECT_EQ(buffer[0], RECEIVE_FRAME_PRESENT);
    uint16_t reported = 0;
    std::memcpy(&reported, buffer + 1, 2);
    EXPECT_EQ(reported, 4000) << "the length is reported as received";
    EXPECT_EQ(buffer[16], 0);
    EXPECT_EQ(buffer[99], 83);
    for (unsigned i = 100; i < sizeof(buffer); ++i)
        ASSERT_EQ(buffer[i], 0xEE) << "byte " << i;
}

TEST_F(ReceiveTest, ARecordTheCallerCannotWriteTakesNoFrame)
{
    auto* read_only = static_cast<uint8_t*>(VirtualAlloc(nullptr, sizeof(ReceiveRecord), MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(read_only, nullptr);
    DWORD old_protection = 0;
    ASSERT_TRUE(VirtualProtect(read_only, sizeof(ReceiveRecord), PAGE_READONLY, &old_protection));
    const uint8_t frame[] = {0x42, 0x43};
    ASSERT_EQ(SimInject(0, frame), INJECT_QUEUED);
    EXPECT_FALSE(Receive(device(), read_only, sizeof(ReceiveRecord)).ok);
    EXPECT_EQ(read_only[0], 0);
    VirtualFree(read_only, 0, MEM_RELEASE);

    static ReceiveRecord record;
    ASSERT_TRUE(Receive(device(), &record, sizeof(record)).ok);
    EXPECT_EQ(record.status, RECEIVE_FRAME_PRESENT);
    EXPECT_EQ(record.frame_data[0], 0x42) << "the frame waited for a caller that can take it";
}

TEST_F(ReceiveTest, GeneratorFramesArriveInOrder)
{
    ASSERT_TRUE(SimGenerator(0, true, 64, 0, 500));
    static ReceiveRecord record;
    for (uint32_t i = 0; i < 500; ++i) {
        ASSERT_TRUE(Receive(device(), &record, sizeof(record)).ok) << i;
        ASSERT_EQ(record.status, RECEIVE_FRAME_PRESENT) << i;
        ASSERT_EQ(record.frame_length, 64) << i;
        ASSERT_EQ(record.frame_data[0], static_cast<uint8_t>(i)) << i;
    }
    const SimAdapterStatus status = SimAdapter(0);
    EXPECT_EQ(status.generator_count, 500u);
    EXPECT_EQ(status.frames_dropped, 0u) << "an unthrottled generator never overruns the receiver";
}

// The simulated line keeps real time: a driver whose clock runs in the wrong
// units sends nothing, or everything at once.
double SecondsSince(double start)
{
    return SecondsNow() - start;
}

TEST(LineTiming, FramesOverTheLoopbackPlugTakeTheirWireTimeByTheWallClock)
{
    ASSERT_TRUE(SimReset());
    DeviceHandle receiver = OpenAdapter(0);
    DeviceHandle sender = OpenAdapter(0);
    ASSERT_EQ(Configure(receiver.Get(), DefaultConfiguration(56000)), RETURN_SUCCESS);
    ASSERT_EQ(RunCommand(receiver.Get(), ENABLE_COMMS), RETURN_SUCCESS);
    constexpr unsigned kFrames = 20;
    constexpr unsigned kLength = 100;
    const double wire_seconds = kFrames * (kLength + 4) * 8.0 / 56000;  // flags and CRC too: about 0.3 s

    const double start = SecondsNow();
    std::thread sending([&] {
        uint8_t frame[kLength] = {};
        for (unsigned i = 0; i < kFrames; ++i) {
            frame[0] = static_cast<uint8_t>(i);
            while (RunCommand(sender.Get(), SEND_I_FRAME, frame, nullptr) == RETURN_NO_TX_BUFFER && SecondsSince(start) < 10)
                Sleep(1);
        }
    });
    static ReceiveRecord record;
    unsigned received = 0;
    while (received < kFrames && WaitUntil([] { return SimAdapter(0).rx_queued > 0; }, 3000)) {
        ASSERT_TRUE(Receive(receiver.Get(), &record, sizeof(record)).ok);
        ASSERT_EQ(record.status, RECEIVE_FRAME_PRESENT);
        EXPECT_EQ(record.frame_length, kLength);
        EXPECT_EQ(record.frame_data[0], received) << "in order";
        ++received;
    }
    const double elapsed = SecondsSince(start);
    sending.join();
    ASSERT_EQ(received, kFrames) << "after " << elapsed << " s";
    EXPECT_GE(elapsed, wire_seconds * 0.95) << "faster than the line's bit rate allows";
    EXPECT_LE(elapsed, wire_seconds * 4 + 0.5) << "the line runs slow";
}

TEST(LineTiming, ThrottledGeneratorKeepsItsRateByTheWallClock)
{
    ASSERT_TRUE(SimReset());
    DeviceHandle adapter = OpenAdapter(0);
    ASSERT_EQ(Configure(adapter.Get(), DefaultConfiguration(2048000)), RETURN_SUCCESS);
    ASSERT_EQ(RunCommand(adapter.Get(), ENABLE_COMMS), RETURN_SUCCESS);
    const double start = SecondsNow();
    ASSERT_TRUE(SimGenerator(0, true, 16, 200, 0));
    Sleep(1000);
    const uint32_t generated = SimAdapter(0).generator_count;
    const double rate = generated / SecondsSince(start);
    ASSERT_TRUE(SimGenerator(0, false, 0, 0, 0));
    EXPECT_GT(rate, 200 * 0.6);
    EXPECT_LT(rate, 200 * 1.4);
}

}  // namespace
}  // namespace qz6::test
