// Tearing the engine down while WinINet is still busy with it: many downloads from nginx (fast,
// rate-limited, missing, refused), each cancelled or simply destroyed at a random moment.
// Each engine lives in memory of the test's own that is poisoned once the engine is gone, so
// a callback that still reached it would act on garbage and crash the test, and a
// notification after the destructor returned is counted, and so is any write into that memory.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "download/DownloadEngine.h"
#include "tests/support/TestSupport.h"

namespace {

struct Watch {
    std::atomic<bool> destroyed{false};
    std::atomic<int> late{0};  // notifications after the engine's destructor returned
};

void Record(unsigned long, void* context) {
    auto* watch = static_cast<Watch*>(context);
    if (watch->destroyed) ++watch->late;
}

}  // namespace

TEST(DownloadEngineTeardown, CancelAndDestroyAtRandomMomentsRunClean) {
    std::wstring url = EnvironmentValue(L"WENDRAKE_NGINX_URL");
    std::wstring root = EnvironmentValue(L"WENDRAKE_NGINX_ROOT");
    ASSERT_FALSE(url.empty()) << "run under tests/support/with_nginx.py";
    WriteBytes(root + L"\\Teardown.bin", std::string(4 * 1024 * 1024, 'T'));
    const std::wstring urls[] = {url + L"/Teardown.bin", url + L"/slow/Teardown.bin", url + L"/Missing.bin",
                                 L"http://127.0.0.1:1/Teardown.bin"};
    TempDir dir;
    EnvironmentOverride tmp(L"TMP", dir.Path().c_str());
    EnvironmentOverride temp(L"TEMP", dir.Path().c_str());

    std::mt19937 random(20261208);
    const int kRuns = 48;
    std::vector<std::unique_ptr<Watch>> watches;
    std::vector<std::unique_ptr<unsigned char[]>> places;
    std::vector<unsigned char*> engines;  // where each engine lived
    for (int run = 0; run < kRuns; ++run) {
        watches.push_back(std::make_unique<Watch>());
        places.push_back(std::make_unique<unsigned char[]>(sizeof(DownloadEngine) + alignof(DownloadEngine)));
        void* place = places.back().get();
        size_t space = sizeof(DownloadEngine) + alignof(DownloadEngine);
        place = std::align(alignof(DownloadEngine), sizeof(DownloadEngine), place, space);
        auto* engine = new (place) DownloadEngine();
        engine->Start(urls[run % 4], Record, dir.Path(), watches.back().get());
        ::Sleep(random() % 60);  // somewhere in the probe, the file request or the body
        if (random() % 2) engine->CancelDownload();
        engine->~DownloadEngine();
        watches.back()->destroyed = true;
        std::memset(place, 0xDD, sizeof(DownloadEngine));
        engines.push_back(static_cast<unsigned char*>(place));
    }
    PumpMessages(2000);  // longer than a retry's pause: late callbacks have had their chance
    for (int run = 0; run < kRuns; ++run) {
        EXPECT_EQ(watches[run]->late.load(), 0) << "run " << run;
        // Not a byte of a destroyed engine was written to since.
        size_t touched = 0;
        for (size_t i = 0; i < sizeof(DownloadEngine); ++i) touched += engines[run][i] != 0xDD;
        EXPECT_EQ(touched, 0u) << "run " << run;
    }
}
