#include "errors.h"
#include "pending_file.h"
#include "render_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace korvel::render {
namespace {

using test::TempFolder;

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

std::string readText(const std::string& path)
{
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(PendingFile, AppearsUnderItsNameOnlyWhenCommitted)
{
    TempFolder folder;
    auto target = folder.file("out.wav");
    {
        PendingFile pending(target);
        EXPECT_EQ(pending.path().rfind(folder.file(".out.wav.partial-"), 0), 0u) << pending.path();
        writeText(pending.path(), "result");
        pending.commit();
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string> {"out.wav"});
    EXPECT_EQ(readText(target), "result");
}

TEST(PendingFile, AbandonedLeavesNothingAndKeepsAnEarlierResult)
{
    TempFolder folder;
    auto target = folder.file("out.wav");
    writeText(target, "earlier");
    {
        PendingFile pending(target);
        writeText(pending.path(), "half");
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string> {"out.wav"});
    EXPECT_EQ(readText(target), "earlier");
}

TEST(PendingFile, RefusesFoldersAndMissingFolders)
{
    TempFolder folder;
    std::filesystem::create_directory(folder.file("sub"));
    for (auto target : {folder.file(""), folder.file("sub"), folder.file("no/such/out.wav")})
        EXPECT_THROW(PendingFile {target}, RenderError) << target;
    EXPECT_EQ(folder.entries(), std::vector<std::string> {"sub"});
}

} // namespace
} // namespace korvel::render
