#include "app/core/CpuLoad.h"
#include "platform/LastError.h"
#include "platform/sim/SimPlatform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <optional>

namespace kestrun {
namespace {

constexpr uint64_t kUnitsPerMs = 10000;  // 100 ns units in a millisecond

// A kernel whose clock and busy counter the test sets before each measurement.
class FakeKernel final : public platform::Kernel {
public:
    uint32_t tick = 0;
    std::optional<uint64_t> busy = 0;
    unsigned processors = 1;

    uint32_t GetTickCount() override { return tick; }
    platform::MemoryStatus GlobalMemoryStatus() override { return {}; }
    unsigned ProcessorCount() override { return processors; }
    std::optional<uint64_t> TotalBusyTime() override
    {
        if (!busy) platform::Fail(EIO);
        return busy;
    }
    std::optional<std::wstring> OwnModuleFileName() override { return std::nullopt; }
    uint32_t GetCurrentProcessId() override { return 1; }
    platform::InstanceLockResult CreateInstanceLock(const std::wstring&) override { return {}; }
    bool SetCurrentThreadPriority(int) override { return false; }
    bool Reboot() override { return false; }
};

class CpuLoad : public ::testing::Test {
protected:
    unsigned Measure(uint32_t tick, std::optional<uint64_t> busy)
    {
        kernel.tick = tick;
        kernel.busy = busy;
        return meter.ComputeCpuLoad();
    }

    FakeKernel kernel;
    CpuLoadMeter meter{kernel};
};

TEST_F(CpuLoad, FirstMeasurementIsZeroWhateverTheBusyTime)
{
    EXPECT_EQ(Measure(5000, 4000 * kUnitsPerMs), 0u);
    EXPECT_EQ(meter.lastLoad(), 0u);
}

TEST_F(CpuLoad, IsTheBusyShareOfTheElapsedTime)
{
    Measure(1000, 7 * kUnitsPerMs);
    EXPECT_EQ(Measure(3000, 7 * kUnitsPerMs + 1000 * kUnitsPerMs), 50u);
    EXPECT_EQ(meter.lastLoad(), 50u);
    // Rounded down: 1999 of 2000 ms busy is 99 %.
    EXPECT_EQ(Measure(5000, 1007 * kUnitsPerMs + 1999 * kUnitsPerMs), 99u);
    EXPECT_EQ(Measure(7000, 3006 * kUnitsPerMs), 0u);  // no busy time at all
}

TEST_F(CpuLoad, TwoMeasurementsInTheSameMillisecondGiveZero)
{
    Measure(1000, 0);
    EXPECT_EQ(Measure(1000, 5 * kUnitsPerMs), 0u);
    // The second measurement became the reference: 500 of 1000 ms busy since it.
    EXPECT_EQ(Measure(2000, 505 * kUnitsPerMs), 50u);
}

TEST_F(CpuLoad, ElapsedTimeIsRightAcrossAWrapOfTheTickCount)
{
    Measure(0xFFFFFFFFu - 499u, 0);  // 500 ms before the wrap
    EXPECT_EQ(Measure(1500, 1500 * kUnitsPerMs), 75u);  // 2000 ms elapsed
}

TEST_F(CpuLoad, IsCappedAtOneHundredWhenMoreBusyTimeThanElapsedIsCharged)
{
    Measure(1000, 0);
    EXPECT_EQ(Measure(2000, 3000 * kUnitsPerMs), 100u);
}

TEST_F(CpuLoad, SharesTheElapsedTimeAmongAllProcessors)
{
    kernel.processors = 4;
    Measure(1000, 0);
    // One of four processors busy for the whole second.
    EXPECT_EQ(Measure(2000, 1000 * kUnitsPerMs), 25u);
    // All four busy.
    EXPECT_EQ(Measure(3000, 5000 * kUnitsPerMs), 100u);
}

TEST_F(CpuLoad, NoProcessorCountIsTakenAsOne)
{
    kernel.processors = 0;
    Measure(1000, 0);
    EXPECT_EQ(Measure(2000, 400 * kUnitsPerMs), 40u);
}

TEST_F(CpuLoad, BusyTimeBeyondTwoToTheThirtyTwoUnitsWrapsOnceAfterALongPause)
{
    // 500 s stopped at 90 % busy: 4.5e9 units, which wraps to 205 032 704.
    Measure(10000, 0);
    const uint64_t afterPause = 4'500'000'000ull;
    // Only the low 32 bits count: 205032704 units over 500000 ms is 4 %, not 90 %.
    EXPECT_EQ(Measure(510000, afterPause), 4u);
    // The following ticks measure normally again.
    EXPECT_EQ(Measure(512000, afterPause + 1800 * kUnitsPerMs), 90u);
}

TEST_F(CpuLoad, AFailedReadGivesZeroAndKeepsTheLastGoodReference)
{
    Measure(1000, 0);
    EXPECT_EQ(Measure(2000, std::nullopt), 0u);
    EXPECT_EQ(meter.lastLoad(), 0u);
    // 2000 ms busy out of the 4000 since the last good measurement.
    EXPECT_EQ(Measure(5000, 2000 * kUnitsPerMs), 50u);
}

TEST_F(CpuLoad, ABusyCounterThatWentBackwardsGivesZero)
{
    Measure(1000, 900 * kUnitsPerMs);
    EXPECT_EQ(Measure(2000, 100 * kUnitsPerMs), 0u);
    EXPECT_EQ(Measure(3000, 600 * kUnitsPerMs), 50u);
}

TEST_F(CpuLoad, AMeasurementAtTickZeroIsAReferenceLikeAnyOther)
{
    Measure(0, 0);
    EXPECT_EQ(Measure(1000, 300 * kUnitsPerMs), 30u);
}

TEST(CpuLoadBusyFraction, IsInHundredthsOfAPercentUpToTenThousand)
{
    struct Case {
        uint32_t diff;
        uint32_t elapsed;
        unsigned processors;
        uint32_t fraction;
    };
    const Case cases[] = {
        {0, 1000, 1, 0},
        {10'000'000, 0, 1, 0},
        {10'000'000, 1000, 1, 10000},
        {10'000'000, 2000, 1, 5000},
        {10'000'000, 2000, 2, 2500},
        {0xFFFFFFFFu, 1, 1, 10000},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0},  // no overflow of elapsed x processors
    };
    for (const Case& c : cases)
        EXPECT_EQ(CpuLoadMeter::BusyFraction(c.diff, c.elapsed, c.processors), c.fraction)
            << c.diff << " over " << c.elapsed << " ms on " << c.processors;
}

}  // namespace
}  // namespace kestrun

// --- The same arithmetic on the simulated device --------------------------------

namespace kestrun {
namespace {

using platform::sim::SimCall;
using platform::sim::SimDevice;

// A simulated device on a manual clock where one thread of a process other than
// the program's own is the only one that works.
class CpuLoadOnSimDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const platform::sim::SimProcess& process : device().processes())
            for (uint32_t thread : process.threads) device().SetThreadLoad(thread, 0);
        for (const platform::sim::SimProcess& process : device().processes()) {
            if (process.id != device().OwnProcessId() && !process.threads.empty()) {
                worker = process.threads.front();
                break;
            }
        }
        ASSERT_NE(worker, 0u);
    }

    SimDevice& device() { return sim->device(); }
    void Load(uint32_t hundredthsOfAPercent) { device().SetThreadLoad(worker, hundredthsOfAPercent); }

    std::unique_ptr<platform::sim::SimPlatform> sim = platform::sim::CreateSimPlatformForTest();
    CpuLoadMeter meter{*sim};
    uint32_t worker = 0;
};

TEST_F(CpuLoadOnSimDevice, CountsOtherProcessesThreadsAndRestoresThePermissions)
{
    const uint32_t permissions = device().permissions();
    Load(5000);
    EXPECT_EQ(meter.ComputeCpuLoad(), 0u);  // first measurement
    device().AdvanceTime(2000);
    EXPECT_EQ(meter.ComputeCpuLoad(), 50u);
    EXPECT_EQ(device().permissions(), permissions);
}

TEST_F(CpuLoadOnSimDevice, SecondMeasurementInTheSameMillisecondIsZero)
{
    Load(8000);
    meter.ComputeCpuLoad();
    device().AdvanceTime(1000);
    EXPECT_EQ(meter.ComputeCpuLoad(), 80u);
    EXPECT_EQ(meter.ComputeCpuLoad(), 0u);
}

TEST_F(CpuLoadOnSimDevice, TickCountWrapBetweenTwoMeasurements)
{
    Load(2500);
    device().SetTick(0xFFFFFFFFu - 999u);
    meter.ComputeCpuLoad();
    device().AdvanceTime(2000);
    EXPECT_LT(device().Tick(), 2000u);
    EXPECT_EQ(meter.ComputeCpuLoad(), 25u);
}

TEST_F(CpuLoadOnSimDevice, FirstLoadAfterALongStoppedPauseIsTakenModuloTwoToTheThirtyTwo)
{
    Load(9000);
    meter.ComputeCpuLoad();
    device().AdvanceTime(500000);
    EXPECT_EQ(meter.ComputeCpuLoad(), 4u);
    device().AdvanceTime(2000);
    EXPECT_EQ(meter.ComputeCpuLoad(), 90u);
}

TEST_F(CpuLoadOnSimDevice, ChargesBeyondTheElapsedTimeAreCappedAtOneHundred)
{
    meter.ComputeCpuLoad();
    device().AdvanceTime(1000);
    const platform::sim::SimThread* thread = device().FindThread(worker);
    ASSERT_NE(thread, nullptr);
    device().SetThreadTimes(worker, thread->kernelTime + 20'000'000, thread->userTime);  // 2 s in 1 s
    EXPECT_EQ(meter.ComputeCpuLoad(), 100u);
}

TEST_F(CpuLoadOnSimDevice, AFailedReadReportsZeroAndTheNextIsRelativeToTheLastGoodOne)
{
    Load(4000);
    meter.ComputeCpuLoad();
    device().AdvanceTime(1000);
    device().InjectFailure(SimCall::TotalBusyTime, 5);
    EXPECT_EQ(meter.ComputeCpuLoad(), 0u);
    Load(1000);
    device().AdvanceTime(1000);
    // 400 ms + 100 ms busy over the 2000 ms since the last good measurement.
    EXPECT_EQ(meter.ComputeCpuLoad(), 25u);
}

}  // namespace
}  // namespace kestrun
