// The plug-in library as the host sees it: loaded by its path, its seven
// entry points found by name, its identity, the host binding and the life of
// one bake invocation, observed through the stand-in host's call log and
// document.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <filesystem>
#include <string>
#include <vector>

#include "document.h"
#include "session.h"

namespace {

std::vector<uint8_t> BytesOf(const char* text) {
  return std::vector<uint8_t>(text, text + std::strlen(text));
}

// One triangle with a selected face and vertex, so that clearing the
// selection shows.
struct SelectedDocument {
  host::Document document;
  SelectedDocument() {
    host::Object& object = host::AddObject(document, "tri");
    object.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    object.faces = {host::Face{{0, 1, 2}, {{0, 0}, {1, 0}, {0, 1}}}};
    document.selectedFaces = {{0, 0}};
    document.selectedVertices = {{0, 1}};
  }
  bool hasSelection() const { return !document.selectedFaces.empty() && !document.selectedVertices.empty(); }
  bool selectionCleared() const { return document.selectedFaces.empty() && document.selectedVertices.empty(); }
  MQDocument handle() { return host::Handle(document); }
};

class PluginTest : public testing::Test {
 protected:
  void SetUp() override {
    plugin_ = host::LoadPlugin(TAMSINK_PLUGIN_MODULE);
    ASSERT_TRUE(plugin_.complete());
    host::ClearCallLog();
  }
  void TearDown() override {
    host::UnloadPlugin(plugin_);
#ifndef _WIN32
    // The dialog's default output path is relative on this platform: no
    // session here may bake without typing a path first.
    std::error_code ignored;
    EXPECT_FALSE(std::filesystem::remove("d:\\test.bmp", ignored));
#endif
  }

  void Init() { ASSERT_EQ(plugin_.MQInit(TAMSINK_HOST_MODULE), TRUE); }

  host::PluginModule plugin_;
};

TEST_F(PluginTest, ReportsItsIdentity) {
  for (DWORD hostVersion : {0u, 561u, 0xFFFFFFFFu}) EXPECT_EQ(plugin_.MQCheckVersion(hostVersion), 561u);

  DWORD product = 0, id = 0;
  plugin_.MQGetPlugInID(&product, &id);
  EXPECT_EQ(product, 0x5A3C1E07u);
  EXPECT_EQ(id, 0x6B2D4F19u);
  plugin_.MQGetPlugInID(nullptr, nullptr);  // survives a careless host

  EXPECT_EQ(plugin_.MQGetPlugInType(), 4);

  // Code page 932: "α" is the two bytes 0x83 0xBF.
  const std::vector<uint8_t> name = {'O', 'r', 'v', 'e', 'l', 'l', 'e', ' ', 0x83, 0xBF, ' ', '0', '.', '3'};
  const std::vector<uint8_t> command = {'O', 'r', 'v', 'e', 'l', 'l', 'e', ' ', 0x83, 0xBF};
  ASSERT_NE(plugin_.MQGetPlugInName(), nullptr);
  EXPECT_EQ(BytesOf(plugin_.MQGetPlugInName()), name);
  ASSERT_NE(plugin_.MQEnumString(0), nullptr);
  EXPECT_EQ(BytesOf(plugin_.MQEnumString(0)), command);
  EXPECT_EQ(plugin_.MQEnumString(1), nullptr);
  EXPECT_EQ(plugin_.MQEnumString(-1), nullptr);
  // The same static strings on every call.
  EXPECT_EQ(plugin_.MQEnumString(0), plugin_.MQEnumString(0));
  EXPECT_EQ(plugin_.MQGetPlugInName(), plugin_.MQGetPlugInName());
  // None of them calls the host.
  EXPECT_TRUE(host::CallLog().empty());
}

#ifndef _WIN32
TEST_F(PluginTest, ExportsExactlyTheSevenEntryPoints) {
  const std::string command = std::string("nm -D --defined-only '") + TAMSINK_PLUGIN_MODULE + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    // "address type name"; the version node of the map is not an export.
    char address[64], type[8], symbol[512];
    if (std::sscanf(line, "%63s %7s %511s", address, type, symbol) != 3) continue;
    if (std::string(type) == "A") continue;
    names.insert(symbol);
  }
  ASSERT_EQ(pclose(pipe), 0);
  const std::set<std::string> expected = {"MQCheckVersion", "MQEnumString",   "MQGetPlugInID",
                                          "MQGetPlugInName", "MQGetPlugInType", "MQInit",
                                          "MQModifyObject"};
  EXPECT_EQ(names, expected);
}
#endif

TEST_F(PluginTest, MQInitBindsAHostWithEveryEntryPoint) {
  EXPECT_EQ(plugin_.MQInit(TAMSINK_HOST_NO_LAST_MODULE), FALSE);
  EXPECT_EQ(plugin_.MQInit("/no/such/host/module"), FALSE);
  EXPECT_EQ(plugin_.MQInit(TAMSINK_HOST_MODULE), TRUE);
}

// Without a complete binding there is no host to call: the command does
// nothing and answers false.
TEST_F(PluginTest, ModifyObjectWithoutABoundHostDoesNothing) {
  SelectedDocument doc;
  EXPECT_EQ(plugin_.MQModifyObject(0, doc.handle()), FALSE);
  EXPECT_EQ(plugin_.MQInit(TAMSINK_HOST_NO_MIDDLE_MODULE), FALSE);
  EXPECT_EQ(plugin_.MQModifyObject(0, doc.handle()), FALSE);
  EXPECT_TRUE(host::CallLog().empty());
  EXPECT_EQ(doc.document.compactCount, 0);
  EXPECT_TRUE(doc.hasSelection());
}

TEST_F(PluginTest, AnotherMenuIndexMakesNoHostCall) {
  Init();
  SelectedDocument doc;
  host::ClearCallLog();
  for (int index : {1, -1, 2}) EXPECT_EQ(plugin_.MQModifyObject(index, doc.handle()), FALSE);
  EXPECT_TRUE(host::CallLog().empty());
  EXPECT_EQ(doc.document.compactCount, 0);
  EXPECT_TRUE(doc.hasSelection());

  // The command itself still works afterwards.
  const host::SessionResult result =
      host::RunSessionText("expect 1013 64\nclose\n", plugin_.MQModifyObject, doc.handle());
  EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
  EXPECT_EQ(doc.document.compactCount, 2);
}

// How the dialog ends decides the result and the selection: OK (Enter away
// from a push button) keeps it, Escape and the close box clear it.
TEST_F(PluginTest, OnlyOkKeepsTheSelection) {
  Init();
  struct Case {
    const char* ending;
    BOOL returned;
    bool cleared;
  };
  const Case cases[] = {
      {"key enter", TRUE, false},
      {"focus 1013\nkey enter", TRUE, false},
      {"key escape", FALSE, true},
      {"close", FALSE, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ending);
    SelectedDocument doc;
    host::ClearCallLog();
    const host::SessionResult result =
        host::RunSessionText(std::string("focus 1000\n") + c.ending + "\n", plugin_.MQModifyObject, doc.handle());
    EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
    EXPECT_EQ(result.returned, c.returned);
    EXPECT_EQ(doc.selectionCleared(), c.cleared);
    EXPECT_EQ(doc.hasSelection(), !c.cleared);
    EXPECT_EQ(doc.document.clearSelectCount, c.cleared ? 1 : 0);
    if (c.cleared) {
      EXPECT_EQ(doc.document.lastClearSelectFlags, 7u);
    }
  }
}

// The invocation's own host calls, in order: compact, gather the current
// object, ask for the main window, [the dialog], then on leaving (after
// clearing the selection when not OK) redraw and compact again.
TEST_F(PluginTest, AnInvocationCallsTheHostInOrder) {
  Init();
  for (const bool ok : {true, false}) {
    SCOPED_TRACE(ok ? "OK" : "cancel");
    SelectedDocument doc;
    host::ClearCallLog();
    host::RunSessionText(ok ? "key enter\n" : "key escape\n", plugin_.MQModifyObject, doc.handle());
    const std::vector<std::string> log = host::CallLog();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.front(), "MQDoc_Compact");
    EXPECT_EQ(log[1], "MQDoc_GetCurrentObjectIndex");
    EXPECT_EQ(host::CallCount("MQDoc_Compact"), 2);
    EXPECT_EQ(host::CallCount("MQ_RefreshView"), 1);
    EXPECT_EQ(host::CallCount("MQ_GetWindowHandle"), 1);
    std::vector<std::string> tail(log.end() - (ok ? 3 : 4), log.end());
    if (ok) {
      EXPECT_EQ(tail, (std::vector<std::string>{"MQ_GetWindowHandle", "MQ_RefreshView", "MQDoc_Compact"}));
    } else {
      EXPECT_EQ(tail, (std::vector<std::string>{"MQ_GetWindowHandle", "MQDoc_ClearSelect", "MQ_RefreshView",
                                                "MQDoc_Compact"}));
    }
    EXPECT_EQ(doc.document.compactCount, 2);
  }
}

// A bake and an average distance build the occluder set through the host;
// the invocation still compacts exactly twice and redraws once, and the next
// invocation starts without the table the previous one built.
TEST_F(PluginTest, BuffersOfOneInvocationDoNotReachTheNext) {
  Init();
  SelectedDocument doc;
  host::ClearCallLog();
  host::SessionResult result = host::RunSessionText(
      "type 1013 4\nclick 1005\nexpect-enabled 1006 1\ntype 1000\nclick 1006\ntab 3\nclick ao 1023\n"
      "focus 1000\nkey enter\n",
      plugin_.MQModifyObject, doc.handle());
  EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
  EXPECT_EQ(result.returned, TRUE);
  EXPECT_EQ(host::CallCount("MQDoc_Compact"), 2);
  EXPECT_EQ(host::CallCount("MQ_RefreshView"), 1);
  EXPECT_EQ(host::CallCount("MQDoc_GetObjectCount"), 4);  // counted and walked, twice

  host::ClearCallLog();
  result = host::RunSessionText("expect-enabled 1006 0\nclick 1006\ntype 1013 4\nclick 1006\nclose\n",
                                plugin_.MQModifyObject, doc.handle());
  EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
  EXPECT_EQ(result.disabledClicks, (std::vector<int>{2, 4}));
  EXPECT_EQ(host::CallCount("MQDoc_GetObjectCount"), 0);  // no bake ran
  EXPECT_EQ(host::CallCount("MQDoc_Compact"), 2);
}

// Settings other than size, mode and light live as long as the library stays
// loaded, and no longer: a fresh load starts from the load-time values.
TEST_F(PluginTest, StoredSettingsLastAsLongAsTheLibraryIsLoaded) {
  Init();
  SelectedDocument doc;
  const auto run = [&](const std::string& text) {
    const host::SessionResult result = host::RunSessionText(text, plugin_.MQModifyObject, doc.handle());
    EXPECT_TRUE(result.failures.empty()) << host::DescribeIssues(result.failures);
  };
  run("type 1013 2\nclick 1005\ntype 1000\ntype ao 1025 7\ncheck 1018 1\nclick 1006\nclose\n");
  run("expect ao 1025 7\nexpect-checked 1018 1\nclose\n");
  host::UnloadPlugin(plugin_);
  plugin_ = host::LoadPlugin(TAMSINK_PLUGIN_MODULE);
  ASSERT_TRUE(plugin_.complete());
  Init();
  run("expect ao 1025 20\nexpect-checked 1018 0\nclose\n");
}

}  // namespace
