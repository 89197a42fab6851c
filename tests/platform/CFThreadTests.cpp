// Retain counts, constant strings and the bundle registry are shared by every
// thread of a host; these run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/cf/CoreFoundation.h"

#include <Carbon/Carbon.h>
#include <CoreFoundation/CFRunLoop.h>

namespace {

constexpr int kThreads = 4;

template <typename F>
void onThreads(F body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(body, t);
    for (auto& thread : threads) thread.join();
}

TEST(CFThreads, RetainAndReleaseFromManyThreadsKeepTheCount) {
    CFStringRef shared = CFStringCreateWithCString(nullptr, "shared", kCFStringEncodingUTF8);
    onThreads([&](int) {
        for (int i = 0; i < 20000; ++i) {
            CFRetain(shared);
            CFMutableDictionaryRef own = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                   &kCFTypeDictionaryValueCallBacks);
            CFDictionarySetValue(own, CFSTR("key"), shared);
            CFRelease(own);
            CFRelease(shared);
        }
    });
    EXPECT_EQ(1, CFGetRetainCount(shared));
    CFRelease(shared);
}

TEST(CFThreads, ConstantStringsAreInternedOnce) {
    std::vector<CFStringRef> seen(kThreads);
    onThreads([&](int t) {
        for (int i = 0; i < 200; ++i) {
            const std::string text = "interned " + std::to_string(i);
            CFStringRef s = __CFStringMakeConstantString(text.c_str());
            if (i == 199) seen[static_cast<size_t>(t)] = s;
        }
    });
    for (CFStringRef s : seen) EXPECT_EQ(seen[0], s);
}

TEST(CFThreads, BundleCreateAndReleaseRaceOnOneFolder) {
    const std::string folder = std::string(TEST_BUNDLES_DIR) + "/BundleB.bundle";
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(folder.c_str()),
                                                           static_cast<CFIndex>(folder.size()), true);
    // Without a reference held elsewhere, bundles die and are remade while
    // other threads look them up.
    std::atomic<int> failures{0};
    onThreads([&](int) {
        for (int i = 0; i < 300; ++i) {
            CFBundleRef bundle = CFBundleCreate(nullptr, url);
            if (bundle == nullptr || CFBundleGetIdentifier(bundle) == nullptr) ++failures;
            CFBundleGetBundleWithIdentifier(CFSTR("org.gravel.test.BundleB"));
            CFRelease(bundle);
        }
    });
    EXPECT_EQ(0, failures.load());

    CFBundleRef held = CFBundleCreate(nullptr, url);
    std::vector<CFBundleRef> seen(kThreads);
    onThreads([&](int t) {
        for (int i = 0; i < 300; ++i) {
            CFBundleRef bundle = CFBundleCreate(nullptr, url);
            seen[static_cast<size_t>(t)] = bundle;
            CFRelease(bundle);
        }
    });
    for (CFBundleRef b : seen) EXPECT_EQ(held, b);
    EXPECT_EQ(1, CFGetRetainCount(held));
    CFRelease(held);
    CFRelease(url);
}

}  // namespace

namespace {

struct SlowTimerState {
    std::atomic<bool> entered{false};
    std::atomic<bool> finished{false};
};

void slowTimer(EventLoopTimerRef, void* data) {
    auto* state = static_cast<SlowTimerState*>(data);
    if (state->entered.exchange(true)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    state->finished = true;
}

}  // namespace

TEST(MainLoopThreads, RemovingATimerWaitsForItsCallbackRunningOnTheLoop) {
    // A unit closed on another thread frees what its idle timer uses once the removal returns.
    SlowTimerState state;
    EventLoopTimerRef timer = nullptr;
    ASSERT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 0, 0.01, slowTimer, &state, &timer), noErr);
    std::atomic<bool> returnedDuringCallback{false};
    std::thread closer([&] {
        while (!state.entered) std::this_thread::yield();
        returnedDuringCallback = RemoveEventLoopTimer(timer) == noErr && !state.finished;
    });
    for (int i = 0; i < 100 && !state.finished; ++i) CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.02, false);
    closer.join();
    EXPECT_TRUE(state.finished.load());
    EXPECT_FALSE(returnedDuringCallback.load());
}
