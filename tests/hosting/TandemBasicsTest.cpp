#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <cstdio>
#include <string>

TEST(TandemException, MessagesAreKeptInAFixedBuffer)
{
    EXPECT_STREQ(TandemException("Could not locate VST bundle").what(), "Could not locate VST bundle");
    EXPECT_STREQ(EOFException().what(), "End of file error");
    EXPECT_STREQ(EOFException("Unexpected end of file in FXB data").what(),
                 "Unexpected end of file in FXB data");
    EXPECT_STREQ(FormatException("Value in dictionary is not of expected type").what(),
                 "Value in dictionary is not of expected type");
    const std::string longText(400, 'x');
    EXPECT_EQ(std::string(TandemException(longText.c_str()).what()), std::string(255, 'x'));

    const MacOSException status(-108);
    EXPECT_EQ(status.getStatus(), -108);
    EXPECT_STREQ(status.what(), "Mac OS error code -108");
    EXPECT_STREQ(status.what(), "Mac OS error code -108") << "written once, then kept";

    // Catch sites rely on the hierarchy.
    EXPECT_THROW(throw EOFException(), TandemException);
    EXPECT_THROW(throw FormatException("x"), TandemException);
    EXPECT_THROW(throw MacOSException(-43), std::exception);
}

TEST(TandemLog, LinesCarryTheNameAndTheCallingThread)
{
    static std::string captured;
    captured.clear();
    setTandemLogSink([](const char* line, void*) { captured += line; }, nullptr);
    tandemLog("VST setBlockSize: %d\n", 512);
    setTandemLogSink(nullptr, nullptr);

    char expected[512];
    std::snprintf(expected, sizeof expected, "[%s](%p) VST setBlockSize: 512\n", logName,
                  reinterpret_cast<void*>(pthread_self()));
    EXPECT_EQ(captured, expected);
    EXPECT_EQ(captured.compare(0, 8, "[Tandem]"), 0) << "the name before any component sets its own";
}
