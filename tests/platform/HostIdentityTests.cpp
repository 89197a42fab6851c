// This test program is built inside a fake application folder
// (FakeLogic.app/Contents/x86_64-linux/) whose Info.plist names Logic Pro:
// it must identify as that application, as a component asks its host.
#include <gtest/gtest.h>

#include <CoreFoundation/CoreFoundation.h>

TEST(HostIdentity, MainBundleIsTheApplicationFolderAroundTheProgram) {
    CFBundleRef main = CFBundleGetMainBundle();
    ASSERT_NE(nullptr, main);
    EXPECT_EQ(main, CFBundleGetMainBundle());
    EXPECT_TRUE(CFEqual(CFSTR("com.apple.logic.pro"), CFBundleGetIdentifier(main)));
    EXPECT_TRUE(CFEqual(CFSTR("7.2.3"), CFBundleGetValueForInfoDictionaryKey(main, CFSTR("CFBundleShortVersionString"))));
    CFURLRef url = CFBundleCopyBundleURL(main);
    char path[4096];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(path), sizeof path));
    EXPECT_STREQ(FAKE_APP, path);
    CFRelease(url);
    EXPECT_EQ(main, CFBundleGetBundleWithIdentifier(CFSTR("com.apple.logic.pro")));
}
