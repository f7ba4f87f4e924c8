#include "engineprotocol.h"
#include "linereader.h"

#include <gtest/gtest.h>

#include <unistd.h>

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

TEST(EngineProtocol, NumbersAreWholeAndInRangeOrNothing) {
    EXPECT_EQ(ParseNumber("7", 1, 10), 7);
    EXPECT_EQ(ParseNumber("-3", -5, 5), -3);
    for (const char* bad : {"", "abc", "4294967297", "1x", " 1", "+1", "1.5", "-3"}) {
        EXPECT_FALSE(ParseNumber(bad, 0, 1'000'000)) << bad;
    }
}

TEST(EngineProtocol, TheLineReaderTakesWholeLinesUpToItsLimit) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const std::string input = "first\nsec";
    ASSERT_EQ(write(ends[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    LineReader reader(ends[0], 16);
    std::string line;
    EXPECT_EQ(reader.Read(line, 1000), LineReader::Result::Line);
    EXPECT_EQ(line, "first");
    EXPECT_EQ(reader.Read(line, 50), LineReader::Result::TimedOut);  // half a line is no line
    ASSERT_EQ(write(ends[1], "ond\n", 4), 4);
    EXPECT_EQ(reader.Read(line, 1000), LineReader::Result::Line);
    EXPECT_EQ(line, "second");

    // A line past the limit breaks the stream for good, without waiting for its end.
    const std::string endless(64, 'x');
    ASSERT_EQ(write(ends[1], endless.data(), endless.size()), 64);
    EXPECT_EQ(reader.Read(line, 1000), LineReader::Result::TooLong);
    ASSERT_EQ(write(ends[1], "\nok\n", 4), 4);
    EXPECT_EQ(reader.Read(line, 1000), LineReader::Result::TooLong);

    close(ends[1]);
    close(ends[0]);

    ASSERT_EQ(pipe(ends), 0);
    close(ends[1]);
    LineReader closed(ends[0], 16);
    EXPECT_EQ(closed.Read(line, 1000), LineReader::Result::Closed);
    close(ends[0]);
}
