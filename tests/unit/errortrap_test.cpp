#include "errortrap.h"
#include "testsupport.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace quillivar;
using quillivar::test::RecordingObserver;

TEST(ErrorReport, IsComposedByteForByte) {
    const QString text = ComposeErrorReport("D", locations::kPushButton6Click, 104);
    EXPECT_EQ(text.toUtf8(),
              QByteArray("D\r\nin Quillivar2021/08/31.Form1.PushButton6_Click at line 104\r\r"
                         "Please email screenshot of this message to support@example.org"));
}

TEST(ErrorReport, KeepsTheDescriptionAsItIs) {
    EXPECT_TRUE(ComposeErrorReport("", locations::kFormLoad, 100).startsWith("\r\nin Quillivar2021/08/31.Form1.Form_Load at line 100"));
    EXPECT_TRUE(ComposeErrorReport("one\ntwo\r\n  three  ", locations::kFormLoad, 7).startsWith("one\ntwo\r\n  three  \r\n"));
    // The folder scan's literal names another project word, shown as it is.
    EXPECT_TRUE(ComposeErrorReport("x", locations::kGetSubDirectories2016, 126)
                    .contains("in Kelvaro2021/08/31.AddFolder.GetSubDirectories2016 at line 126\r\r"));
}

TEST(ErrorTrap, ReportsAFailingStepAndGoesOn) {
    RecordingObserver reporter;
    ErrorTrap trap(reporter, locations::kSaveDocAsJPG);
    std::vector<int> ran;
    trap.step(100, [&] { ran.push_back(100); });
    trap.step(102, [&] {
        ran.push_back(102);
        throw Failure("the file is gone");
        ran.push_back(-1);
    });
    trap.step(104, [&] { ran.push_back(104); });
    EXPECT_EQ(ran, (std::vector<int>{100, 102, 104}));
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].description, "the file is gone");
    EXPECT_EQ(reporter.reports[0].location, locations::kSaveDocAsJPG);
    EXPECT_EQ(reporter.reports[0].line, 102);
}

TEST(ErrorTrap, AFailingTestCountsAsMet) {
    RecordingObserver reporter;
    ErrorTrap trap(reporter, locations::kFormLoad);
    std::vector<int> ran;
    if (trap.test(144, [&]() -> bool { throw std::runtime_error("no option"); })) {
        trap.step(146, [&] { ran.push_back(146); });
    } else {
        trap.step(148, [&] { ran.push_back(148); });
    }
    EXPECT_EQ(ran, std::vector<int>{146});
    EXPECT_EQ(reporter.lines(), std::vector<int>{144});
    EXPECT_EQ(reporter.reports[0].description, "no option");
    EXPECT_FALSE(trap.test(150, [] { return false; }));
}

TEST(ErrorTrap, GivesOneReportPerFailureInOrder) {
    RecordingObserver reporter;
    ErrorTrap trap(reporter, locations::kPushButton2Click);
    trap.step(110, [] { throw Failure("first"); });
    trap.step(112, [] {});
    trap.step(114, [] { throw 42; });
    ASSERT_EQ(reporter.lines(), (std::vector<int>{110, 114}));
    EXPECT_EQ(reporter.reports[1].description, texts::report::kUnknownFailure);
}
