// The lock around the making of function statics (framework/StaticGuard.cpp), which this test
// program links in place of the C++ runtime's, as the installer does.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "framework/Handles.h"
#include "tests/support/TestSupport.h"

namespace {

HANDLE g_making = nullptr;      // set by the constructor once it has started
HANDLE g_finish = nullptr;      // the constructor waits for it
volatile LONG g_constructions = 0;

struct SlowlyMade {
    SlowlyMade() {
        ::InterlockedIncrement(&g_constructions);
        ::SetEvent(g_making);
        ::WaitForSingleObject(g_finish, INFINITE);
        value = 42;
    }
    int value = 0;
};

int SlowValue() {
    static SlowlyMade made;
    return made.value;
}

int g_attempts = 0;

struct FailsFirst {
    FailsFirst() : attempt(++g_attempts) {
        if (attempt == 1) throw std::runtime_error("first attempt");
    }
    int attempt;
};

int FailsFirstAttempt() {
    static FailsFirst made;
    return made.attempt;
}

}  // namespace

// One thread makes the object; threads arriving meanwhile wait, and see it whole.
TEST(StaticGuard, OneThreadMakesTheObjectTheOthersWaitForIt) {
    KernelHandle making(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    KernelHandle finish(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_making = making.Get();
    g_finish = finish.Get();

    const int kThreads = 6;
    volatile LONG seen[kThreads] = {};
    KernelHandle arrived[kThreads];
    std::vector<std::unique_ptr<TestThread>> threads;
    threads.push_back(std::make_unique<TestThread>([&] { seen[0] = SlowValue(); }));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(making.Get(), INFINITE));
    for (int i = 1; i < kThreads; ++i) {
        arrived[i].Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        HANDLE signal = arrived[i].Get();
        threads.push_back(std::make_unique<TestThread>([&seen, i, signal] {
            ::SetEvent(signal);
            seen[i] = SlowValue();
        }));
        ::WaitForSingleObject(signal, INFINITE);
    }
    // The others are at the object's door (or about to be); a broken lock lets them in now. The
    // pause only gives a broken lock the chance to show: a sound one passes however long it is.
    ::Sleep(50);
    ::SetEvent(finish.Get());
    threads.clear();  // joins them

    EXPECT_EQ(1, g_constructions);
    for (int i = 0; i < kThreads; ++i) EXPECT_EQ(42, seen[i]) << "thread " << i;
    EXPECT_EQ(42, SlowValue());
    EXPECT_EQ(1, g_constructions);
}

// A making that throws leaves the object unmade (the installer throws nothing, but the tests'
// own code does): the next use makes it again, and the one after that uses it.
TEST(StaticGuard, AFailedMakingIsTriedAgain) {
    EXPECT_THROW(FailsFirstAttempt(), std::runtime_error);
    EXPECT_EQ(2, FailsFirstAttempt());
    EXPECT_EQ(2, FailsFirstAttempt());
    EXPECT_EQ(2, g_attempts);
}
