// The file layer: names stay inside their folder, existing items are never
// overwritten by a create, and the support folders follow the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/FileServices.h"

namespace fs = std::filesystem;
using namespace gravel_files;

namespace {

class FileServices : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("gravel-files-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder / "inner");
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string path(const std::string& name) const { return (folder / name).string(); }

    fs::path folder;
};

}  // namespace

TEST_F(FileServices, NamesThatLeaveTheFolderAreRefused) {
    const std::string base = (folder / "inner").string();
    std::string result = "untouched";
    for (const std::string& name : {std::string(), std::string("."), std::string(".."), std::string("../escape"),
                                   std::string("a/b"), std::string("/etc"), std::string("nul\0byte", 8)}) {
        EXPECT_FALSE(isValidItemName(name)) << name;
        EXPECT_EQ(bdNamErr, findItem(base, name, result)) << name;
        EXPECT_EQ(bdNamErr, createFile(base, name, result)) << name;
        EXPECT_EQ(bdNamErr, createFolder(base, name, result)) << name;
    }
    EXPECT_EQ("untouched", result);
    EXPECT_FALSE(fs::exists(folder / "escape"));
    EXPECT_TRUE(isValidItemName("..."));
    EXPECT_TRUE(isValidItemName("Crunch \xC3\xA9.aupreset"));
}

TEST_F(FileServices, CreateFindWriteAppendReadDelete) {
    std::string file;
    EXPECT_EQ(fnfErr, findItem(folder.string(), "TNParameters.txt", file));
    EXPECT_EQ(fnfErr, createFile(path("missing"), "x", file));
    ASSERT_EQ(noErr, createFile(folder.string(), "TNParameters.txt", file));
    EXPECT_EQ(path("TNParameters.txt"), file);
    ASSERT_EQ(noErr, writeFile(file, "longer first text", 17));
    ASSERT_EQ(noErr, writeFile(file, "one\r", 4));
    ASSERT_EQ(noErr, appendToFile(file, "two\r", 4));
    std::vector<UInt8> contents;
    ASSERT_EQ(noErr, readFile(file, contents));
    EXPECT_EQ("one\rtwo\r", std::string(contents.begin(), contents.end())) << "a write starts the file anew";

    std::string again;
    EXPECT_EQ(dupFNErr, createFile(folder.string(), "TNParameters.txt", again));
    EXPECT_EQ(dupFNErr, createFolder(folder.string(), "TNParameters.txt", again));
    ASSERT_EQ(noErr, readFile(file, contents));
    EXPECT_EQ(8u, contents.size()) << "a failed create leaves the file alone";
    ASSERT_EQ(noErr, findItem(folder.string(), "TNParameters.txt", again));
    EXPECT_EQ(file, again);

    std::string sub;
    ASSERT_EQ(noErr, createFolder(folder.string(), "Gravel", sub));
    EXPECT_TRUE(fs::is_directory(sub));
    ASSERT_EQ(noErr, createFile(sub, "Clean.aupreset", again));
    EXPECT_EQ(fBsyErr, deleteItem(sub));
    EXPECT_EQ(noErr, deleteItem(again));
    EXPECT_EQ(noErr, deleteItem(sub));
    EXPECT_EQ(fnfErr, deleteItem(sub));
    EXPECT_EQ(fnfErr, readFile(sub, contents));
    EXPECT_EQ(fnfErr, writeFile(sub, "x", 1));
    EXPECT_EQ(fnfErr, appendToFile(sub, "x", 1));
}

TEST_F(FileServices, ListingHoldsPlainVisibleFilesWithTheirExtensions) {
    std::string made;
    for (const char* name : {"Clean.fxp", "Bank.FXB", "noextension", ".hidden.fxp", "archive.tar.gz"})
        ASSERT_EQ(noErr, createFile(folder.string(), name, made));
    ASSERT_EQ(noErr, createFolder(folder.string(), "Folder.fxp", made));
    std::vector<FolderItem> items;
    ASSERT_EQ(noErr, listPlainVisibleFiles(folder.string(), items));
    ASSERT_EQ(4u, items.size());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Bank.FXB", "FXB"}, {"Clean.fxp", "fxp"}, {"archive.tar.gz", "gz"}, {"noextension", ""}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, items[i].name);
        EXPECT_EQ(expected[i].second, items[i].extension);
        EXPECT_EQ(path(expected[i].first), items[i].path);
        EXPECT_EQ(0u, items[i].fileType) << "Linux files carry no type code";
    }
    EXPECT_EQ(fnfErr, listPlainVisibleFiles(path("missing"), items));
}

TEST_F(FileServices, SupportFoldersComeFromTheEnvironmentAndAreNeverCreated) {
    std::string found;
    setenv("AU_USER_SUPPORT", path("user").c_str(), 1);
    setenv("AU_LOCAL_SUPPORT", path("inner").c_str(), 1);
    EXPECT_EQ(fnfErr, findAudioUnitSupportFolder(kUserDomain, found));
    EXPECT_FALSE(fs::exists(path("user")));
    ASSERT_EQ(noErr, findAudioUnitSupportFolder(kLocalDomain, found));
    EXPECT_EQ(path("inner"), found);
    EXPECT_EQ(paramErr, findAudioUnitSupportFolder(kSystemDomain, found));

    unsetenv("AU_USER_SUPPORT");
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("HOME", folder.c_str(), 1);
    fs::create_directories(folder / ".local/share/AudioUnit");
    EXPECT_EQ(noErr, findAudioUnitSupportFolder(kUserDomain, found));
    EXPECT_EQ(path(".local/share/AudioUnit"), found);
    setenv("HOME", home.c_str(), 1);
    unsetenv("AU_LOCAL_SUPPORT");
}
