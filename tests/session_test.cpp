// The session runner: parsing session texts (every step kind, and each kind
// of malformed line with its exact message), and running sessions against
// the real plug-in library, with the failures the runner records when an
// expectation does not hold, a control is missing, or the dialog is left
// open or closes early.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "document.h"
#include "platform_hooks.h"
#include "session.h"

namespace {

using host::SessionStep;

TEST(SessionParseTest, ReadsEveryStepKind) {
  const host::SessionParse parse = host::ParseSession(
      "# a comment\n"
      "\n"
      "type 1013 128\r\n"
      "type shade 1002 2.6 and more\n"
      "type 2 1009\n"
      "click 1005\n"
      "click ao 1023\n"
      "check main 1018 1\n"
      "focus 1000\n"
      "tab 3\n"
      "key enter\n"
      "key escape\n"
      "close\n"
      "copy ao 1022 to 1 1002\n"
      "expect 1000 d:\\test.bmp\n"
      "expect-enabled 1006 0\n"
      "expect-checked shade 1017 1\n"
      "expect-visible normal 1\n"
      "expect-tab 0\n"
      "expect-progress 0 -1 128\n"
      "   # an indented comment\n");
  ASSERT_TRUE(parse.ok()) << host::DescribeIssues(parse.errors);
  const std::vector<SessionStep>& s = parse.session.steps;
  ASSERT_EQ(s.size(), 18u);

  EXPECT_EQ(s[0].line, 3);
  EXPECT_EQ(s[0].kind, SessionStep::kType);
  EXPECT_EQ(s[0].target, host::kSessionMain);
  EXPECT_EQ(s[0].id, 1013);
  EXPECT_EQ(s[0].text, "128");  // the CR is dropped

  EXPECT_EQ(s[1].target, 1);  // shade
  EXPECT_EQ(s[1].id, 1002);
  EXPECT_EQ(s[1].text, "2.6 and more");

  EXPECT_EQ(s[2].target, 2);
  EXPECT_EQ(s[2].id, 1009);
  EXPECT_EQ(s[2].text, "");

  EXPECT_EQ(s[3].kind, SessionStep::kClick);
  EXPECT_EQ(s[3].target, host::kSessionMain);
  EXPECT_EQ(s[4].target, 3);
  EXPECT_EQ(s[4].id, 1023);

  EXPECT_EQ(s[5].kind, SessionStep::kCheck);
  EXPECT_EQ(s[5].target, host::kSessionMain);
  EXPECT_EQ(s[5].id, 1018);
  EXPECT_EQ(s[5].value, 1);

  EXPECT_EQ(s[6].kind, SessionStep::kFocus);
  EXPECT_EQ(s[7].kind, SessionStep::kTab);
  EXPECT_EQ(s[7].value, 3);
  EXPECT_EQ(s[8].kind, SessionStep::kKey);
  EXPECT_EQ(s[8].value, VK_RETURN);
  EXPECT_EQ(s[9].value, VK_ESCAPE);
  EXPECT_EQ(s[10].kind, SessionStep::kClose);

  EXPECT_EQ(s[11].kind, SessionStep::kCopy);
  EXPECT_EQ(s[11].target, 3);
  EXPECT_EQ(s[11].id, 1022);
  EXPECT_EQ(s[11].target2, 1);
  EXPECT_EQ(s[11].id2, 1002);

  EXPECT_EQ(s[12].kind, SessionStep::kExpectText);
  EXPECT_EQ(s[12].text, "d:\\test.bmp");
  EXPECT_EQ(s[13].kind, SessionStep::kExpectEnabled);
  EXPECT_EQ(s[13].value, 0);
  EXPECT_EQ(s[14].kind, SessionStep::kExpectChecked);
  EXPECT_EQ(s[14].target, 1);
  EXPECT_EQ(s[15].kind, SessionStep::kExpectVisible);
  EXPECT_EQ(s[15].target, 0);
  EXPECT_EQ(s[16].kind, SessionStep::kExpectTab);
  EXPECT_EQ(s[17].kind, SessionStep::kExpectProgress);
  EXPECT_EQ(s[17].progress[0], 0);
  EXPECT_EQ(s[17].progress[1], -1);
  EXPECT_EQ(s[17].progress[2], 128);
  EXPECT_EQ(s[17].line, 20);
}

TEST(SessionParseTest, ReportsMalformedLinesWithTheirNumbers) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {"wiggle 3", "unknown step \"wiggle\""},
      {"type", "expected a control id, found \"\""},
      {"type shade", "expected a control id, found \"\""},
      {"type x1 5", "expected a control id, found \"x1\""},
      {"click 10x", "expected a control id, found \"10x\""},
      {"click 99999999999", "expected a control id, found \"99999999999\""},
      {"click 1005 extra", "unexpected \"extra\""},
      {"click 1", "expected a control id, found \"\""},  // a lone digit names a page
      {"check 1018", "expected 0 or 1, found \"\""},
      {"check 1018 2", "expected 0 or 1, found \"2\""},
      {"expect-enabled 1006 yes", "expected 0 or 1, found \"yes\""},
      {"expect-visible main 1", "expected a page, found \"main\""},
      {"expect-visible 1006 1", "expected a page, found \"1006\""},
      {"tab", "expected a tab index, found \"\""},
      {"tab two", "expected a tab index, found \"two\""},
      {"key space", "unknown key \"space\""},
      {"close now", "unexpected \"now\""},
      {"copy 1022 1024", "expected \"to\", found \"1024\""},
      {"copy 1022 to", "expected a control id, found \"\""},
      {"expect-progress 0 0", "expected a maximum, found \"\""},
      {"expect-progress a 0 0", "expected a position, found \"a\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const host::SessionParse parse = host::ParseSession(std::string("close\n# fine\n") + c.line + "\nclose\n");
    ASSERT_EQ(parse.errors.size(), 1u) << host::DescribeIssues(parse.errors);
    EXPECT_EQ(parse.errors[0].line, 3);
    EXPECT_EQ(parse.errors[0].message, c.message);
    // The other lines still parse.
    EXPECT_EQ(parse.session.steps.size(), 2u);
  }
}

TEST(SessionParseTest, DescribesIssuesOnePerLine) {
  EXPECT_EQ(host::DescribeIssues({{3, "a"}, {0, "b"}}), "line 3: a\nline 0: b\n");
}

class SessionRunTest : public testing::Test {
 protected:
  void SetUp() override {
    plugin_ = host::LoadPlugin(TAMSINK_PLUGIN_MODULE);
    ASSERT_TRUE(plugin_.complete());
    ASSERT_EQ(plugin_.MQInit(TAMSINK_HOST_MODULE), TRUE);
    host::Object& object = host::AddObject(document_, "tri");
    object.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    object.faces = {host::Face{{0, 1, 2}, {{0, 0}, {1, 0}, {0, 1}}}};
    host::ClearCallLog();
  }
  void TearDown() override {
#ifndef _WIN32
    // The dialog, its pages and the host's window are all gone.
    EXPECT_EQ(PlatformLiveWindowCount(), 0);
#endif
    host::UnloadPlugin(plugin_);
#ifndef _WIN32
    // The dialog's default output path is relative on this platform: no
    // session here may bake without typing a path first.
    std::error_code ignored;
    EXPECT_FALSE(std::filesystem::remove("d:\\test.bmp", ignored));
#endif
  }

  host::SessionResult Run(const std::string& text) {
    return host::RunSessionText(text, plugin_.MQModifyObject, host::Handle(document_));
  }

  host::PluginModule plugin_;
  host::Document document_;
};

TEST_F(SessionRunTest, RecordsEveryFailedExpectationAndGoesOn) {
  const host::SessionResult result = Run(
      "expect 1013 65\n"
      "expect-enabled 1006 1\n"
      "expect-enabled 1005 0\n"
      "expect-checked 1018 1\n"
      "expect-visible shade 1\n"
      "expect-visible normal 0\n"
      "expect-tab 2\n"
      "expect-progress 1 0 10\n"
      "expect 1013 64\n"  // holds
      "close\n");
  EXPECT_EQ(result.returned, FALSE);
  EXPECT_EQ(result.stepsRun, 10);
  const std::vector<std::pair<int, std::string>> expected = {
      {1, "expected main 1013 to read \"65\", found \"64\""},
      {2, "expected main 1006 to be enabled, it is disabled"},
      {3, "expected main 1005 to be disabled, it is enabled"},
      {4, "expected main 1018 to be checked, it is unchecked"},
      {5, "expected page shade to be shown, it is hidden"},
      {6, "expected page normal to be hidden, it is shown"},
      {7, "expected tab 2 to be selected, tab 0 is"},
      {8, "expected progress 1 in 0..10, found 0 in 0..64"},
  };
  ASSERT_EQ(result.failures.size(), expected.size()) << host::DescribeIssues(result.failures);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(result.failures[i].line, expected[i].first);
    EXPECT_EQ(result.failures[i].message, expected[i].second);
  }
}

TEST_F(SessionRunTest, RecordsMissingControls) {
  // The back-face box is on the Shade page only.
  const host::SessionResult result =
      Run("click 4242\ncheck shade 1017 1\ntype shadow 1017 x\nexpect ao 1002 0\nclose\n");
  ASSERT_EQ(result.failures.size(), 3u) << host::DescribeIssues(result.failures);
  EXPECT_EQ(result.failures[0].line, 1);
  EXPECT_EQ(result.failures[0].message, "no control main 4242");
  EXPECT_EQ(result.failures[1].line, 3);
  EXPECT_EQ(result.failures[1].message, "no control shadow 1017");
  EXPECT_EQ(result.failures[2].line, 4);
  EXPECT_EQ(result.failures[2].message, "no control ao 1002");
}

TEST_F(SessionRunTest, ADialogLeftOpenIsClosedWithTheCloseBox) {
  const host::SessionResult result = Run("expect 1013 64\n");
  EXPECT_EQ(result.returned, FALSE);  // the close box ends the dialog with 0
  ASSERT_EQ(result.failures.size(), 1u) << host::DescribeIssues(result.failures);
  EXPECT_EQ(result.failures[0].line, 0);
  EXPECT_EQ(result.failures[0].message, "the dialog was still open after the last step; closed with the close box");
  EXPECT_EQ(document_.clearSelectCount, 1);
}

TEST_F(SessionRunTest, StepsAfterTheDialogClosedAreNotRun) {
  const host::SessionResult result = Run("key escape\nexpect 1013 64\nclose\n");
  EXPECT_EQ(result.returned, FALSE);
  EXPECT_EQ(result.stepsRun, 1);
  ASSERT_EQ(result.failures.size(), 1u) << host::DescribeIssues(result.failures);
  EXPECT_EQ(result.failures[0].line, 2);
  EXPECT_EQ(result.failures[0].message, "not run: the dialog had closed");
}

TEST_F(SessionRunTest, AMalformedSessionDoesNotCallThePlugIn) {
  const host::SessionResult result = Run("close\nclick\n");
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].line, 2);
  EXPECT_EQ(result.stepsRun, 0);
  EXPECT_TRUE(host::CallLog().empty());
}

TEST_F(SessionRunTest, AnotherMenuIndexOpensNoDialog) {
  const host::SessionResult result =
      host::RunSessionText("close\n", plugin_.MQModifyObject, host::Handle(document_), 1);
  EXPECT_EQ(result.returned, FALSE);
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].line, 1);
  EXPECT_EQ(result.failures[0].message, "not run: no dialog was open");
}

TEST_F(SessionRunTest, ClicksOnDisabledButtonsAreRecorded) {
  // The empty path keeps the bake from writing a file.
  const host::SessionResult result =
      Run("type 1000\nclick 1006\nclick 1005\nclick 1006\ntype 1013 2\nclick 1006\nclose\n");
  EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
  EXPECT_EQ(result.disabledClicks, (std::vector<int>{2, 6}));
}

TEST_F(SessionRunTest, CheckClicksOnlyWhenTheStateDiffers) {
  const host::SessionResult result = Run(
      "check 1018 0\nexpect-checked 1018 0\n"
      "check 1018 1\nexpect-checked 1018 1\n"
      "check 1018 1\nexpect-checked 1018 1\n"
      "check shade 1017 1\nexpect-checked shade 1017 1\nclose\n");
  EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
}

TEST_F(SessionRunTest, CopyTypesOneControlsTextIntoAnother) {
  const host::SessionResult result = Run(
      "type ao 1022 42.5\ncopy ao 1022 to shade 1002\nexpect shade 1002 42.5\n"
      "copy ao 1024 to 1000\nexpect 1000 120.0\nclose\n");
  EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
}

TEST_F(SessionRunTest, TabSelectsAndNotifiesLikeAClick) {
  const host::SessionResult result = Run(
      "tab 2\nexpect-tab 2\nexpect-visible shadow 1\nexpect-visible normal 0\n"
      "tab 2\nexpect-visible shadow 1\n"
      "tab 4\n"
      "tab 0\nexpect-visible normal 1\nexpect-visible shadow 0\nclose\n");
  ASSERT_EQ(result.failures.size(), 1u) << host::DescribeIssues(result.failures);
  EXPECT_EQ(result.failures[0].line, 7);
  EXPECT_EQ(result.failures[0].message, "no tab 4");
}

}  // namespace
