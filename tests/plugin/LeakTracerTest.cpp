// The leak tracer's report texts, byte for byte. Its list is process-wide, so
// the whole life of the tracer is one test in a binary of its own.

#include <string>

#include <gtest/gtest.h>

#include "plugin/LeakTracer.h"

namespace {

const std::string rule = std::string(59, '-') + "\n";

template <typename F>
std::string captured(F f)
{
    testing::internal::CaptureStdout();
    f();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::string line(const std::string& file, int lineNumber, const char* address, int size)
{
    char text[512];
    std::snprintf(text, sizeof(text), "%-50s(Line %d), Address: %s, %d bytes unfreed.\n",
                  file.c_str(), lineNumber, address, size);
    return text;
}

} // namespace

TEST(LeakTracer, LifeOfTheTracer)
{
    ASSERT_EQ(allocList, nullptr);
    EXPECT_EQ(captured([] { dumpLeaks(); }), "");
    EXPECT_EQ(captured([] { removeTrack(0x10); }), "");
    EXPECT_EQ(allocList, nullptr);

    EXPECT_EQ(captured([] { resetLeaksTracing(); }), rule + "Memory Tracer: INIT\n" + rule);
    ASSERT_NE(allocList, nullptr);
    EXPECT_EQ(captured([] { resetLeaksTracing(); }),
              rule + "Memory Tracer: RESET (0 records deleted)\n" + rule);
    EXPECT_EQ(captured([] { dumpLeaks(); }),
              rule + "Memory Tracer: REPORT\n\n" + "\nTotal Memory Leaked: 0 bytes\n" + rule);

    // The address is printed as its low 32 bits in upper-case hexadecimal.
    addTrack(0x1234abcdef01ul, 100, "a.cpp", 10);
    addTrack(0xbeeful, 20, "b.cpp", 20);
    EXPECT_EQ(captured([] { dumpLeaks(); }),
              rule + "Memory Tracer: REPORT\n\n" + line("b.cpp", 20, "BEEF", 20) +
                  line("a.cpp", 10, "ABCDEF01", 100) + "\nTotal Memory Leaked: 120 bytes\n" + rule);

    removeTrack(0x777); // never added: nothing changes
    EXPECT_EQ(allocList->size(), 2u);
    removeTrack(0x1234abcdef01ul);
    EXPECT_EQ(captured([] { dumpLeaks(); }),
              rule + "Memory Tracer: REPORT\n\n" + line("b.cpp", 20, "BEEF", 20) +
                  "\nTotal Memory Leaked: 20 bytes\n" + rule);

    // File names are cut to 255 characters.
    const std::string longName(300, 'f');
    addTrack(1, 1, longName.c_str(), 1);
    EXPECT_EQ(std::string(allocList->front()->file), longName.substr(0, 255));
    addTrack(2, 2, "c.cpp", 3);

    EXPECT_EQ(captured([] { resetLeaksTracing(); }),
              rule + "Memory Tracer: RESET (3 records deleted)\n" + rule);
    EXPECT_EQ(captured([] { dumpLeaks(); }),
              rule + "Memory Tracer: REPORT\n\n" + "\nTotal Memory Leaked: 0 bytes\n" + rule);
}
