#include "engineprotocol.h"

#include <gtest/gtest.h>

using namespace quillivar::protocol;

TEST(EngineProtocol, AnyPathSurvivesTheLine) {
    const std::string path = "/tmp/a\tb\nc\rd%20e #f ünï 日本.docx";
    const std::string line = JoinFields({"open", path, ""});
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    const auto fields = SplitFields(line);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0], "open");
    EXPECT_EQ(fields[1], path);
    EXPECT_EQ(fields[2], "");
}

TEST(EngineProtocol, UnescapeLeavesStrayPercentSigns) {
    EXPECT_EQ(Unescape("100%"), "100%");
    EXPECT_EQ(Unescape("%zz%2"), "%zz%2");
    EXPECT_EQ(Unescape("%25%09"), "%\t");
}

TEST(EngineProtocol, FileUrlEncodesEverythingButPlainCharacters) {
    EXPECT_EQ(FileUrl("/tmp/Report.docx"), "file:///tmp/Report.docx");
    EXPECT_EQ(FileUrl("/tmp/my file#1%.doc"), "file:///tmp/my%20file%231%25.doc");
    EXPECT_EQ(FileUrl("/tmp/\xC3\xA9"), "file:///tmp/%C3%A9");
}
