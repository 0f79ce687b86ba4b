// The stand-in host module: the fourteen entry points the plug-in calls, used
// through a bound HostApi on documents built with the C++ API, including the
// bad input they must survive; a few of the other entry points; and the
// module's export table.
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "document.h"
#include "shell/host_api.h"
#include "test_support.h"

// A few of the entry points the plug-in never calls, with the signatures
// host_module.cpp gives them; the test executable links the module.
extern "C" {
MQObject MQ_CreateObject(void);
int MQDoc_AddObject(MQDocument doc, MQObject obj);
void MQDoc_DeleteObject(MQDocument doc, int index);
BOOL MQDoc_AddSelectVertex(MQDocument doc, MQObject obj, int vertex);
BOOL MQDoc_IsSelectVertex(MQDocument doc, MQObject obj, int vertex);
void MQObj_GetName(MQObject obj, char* buffer, int size);
void MQObj_SetName(MQObject obj, const char* name);
int MQObj_AddVertex(MQObject obj, const Vec3* position);
int MQObj_AddFace(MQObject obj, int count, const int* points);
void MQObj_SetVisible(MQObject obj, DWORD visible);
}

namespace {

using host::Document;
using host::Face;
using host::Object;

constexpr int kSentinel = 0x7EADBEEF;

class HostModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(BindHostApi(api_, TAMSINK_HOST_MODULE), 1);
    host::ClearCallLog();
  }

  HostApi api_{};
};

// A document with distinct, exactly representable values everywhere, so that a
// swapped corner, axis or component shows:
//   slot 0 "mesh": 5 vertices; a triangle (4, 0, 2) with three UVs, a quad
//     (0, 1, 2, 3) with only two UVs, a pentagon (0, 1, 2, 3, 4), a face with
//     a point outside the vertex range (0, 9, 1);
//   slot 1 empty (a deleted object);
//   slot 2 "hidden", invisible, no geometry.
struct SampleDocument {
  Document document;
  Object* mesh = nullptr;
  Object* hidden = nullptr;

  SampleDocument() {
    mesh = &host::AddObject(document, "mesh");
    mesh->vertices = {{0.5f, -1.25f, 2.0f}, {3.0f, 0.0f, -4.5f}, {-6.75f, 8.0f, 0.125f},
                      {1.0f, 2.0f, 3.0f}, {-0.0f, 1e-30f, -7.0f}};
    mesh->faces = {Face{{4, 0, 2}, {{0.125f, 0.875f}, {0.25f, 0.5f}, {1.0f, 0.0f}}},
                   Face{{0, 1, 2, 3}, {{0.75f, 0.25f}, {0.5f, 1.0f}}},
                   Face{{0, 1, 2, 3, 4}, {}},
                   Face{{0, 9, 1}, {}}};
    document.objects.push_back(nullptr);
    hidden = &host::AddObject(document, "hidden");
    hidden->visible = false;
    document.currentObject = 2;
  }

  MQDocument doc() { return host::Handle(document); }
};

void ExpectVec3Bits(const Vec3& actual, const Vec3& expected) {
  EXPECT_EQ(FloatBits(actual.x), FloatBits(expected.x));
  EXPECT_EQ(FloatBits(actual.y), FloatBits(expected.y));
  EXPECT_EQ(FloatBits(actual.z), FloatBits(expected.z));
}

// ---- Objects of the document ---------------------------------------------

TEST_F(HostModuleTest, ObjectCountIncludesEmptySlotsAndEmptySlotsReadAsNull) {
  SampleDocument sample;
  EXPECT_EQ(api_.MQDoc_GetObjectCount(sample.doc()), 3);
  EXPECT_EQ(api_.MQDoc_GetObject(sample.doc(), 0), host::Handle(*sample.mesh));
  EXPECT_EQ(api_.MQDoc_GetObject(sample.doc(), 1), nullptr);
  EXPECT_EQ(api_.MQDoc_GetObject(sample.doc(), 2), host::Handle(*sample.hidden));
  EXPECT_EQ(api_.MQDoc_GetCurrentObjectIndex(sample.doc()), 2);
}

TEST_F(HostModuleTest, ObjectQueriesSurviveBadDocumentsAndIndices) {
  SampleDocument sample;
  const int badIndices[] = {-1, 3, 1000, INT32_MIN, INT32_MAX};
  for (int index : badIndices) EXPECT_EQ(api_.MQDoc_GetObject(sample.doc(), index), nullptr) << index;
  EXPECT_EQ(api_.MQDoc_GetObject(nullptr, 0), nullptr);
  EXPECT_EQ(api_.MQDoc_GetObjectCount(nullptr), 0);
  EXPECT_EQ(api_.MQDoc_GetCurrentObjectIndex(nullptr), 0);
  Document empty;
  EXPECT_EQ(api_.MQDoc_GetObjectCount(host::Handle(empty)), 0);
  EXPECT_EQ(api_.MQDoc_GetObject(host::Handle(empty), 0), nullptr);
}

// The current index is passed through as stored, even when it names no
// object: the plug-in must cope with it.
TEST_F(HostModuleTest, CurrentObjectIndexIsReturnedAsStored) {
  SampleDocument sample;
  for (int index : {0, 1, 7, -3}) {
    sample.document.currentObject = index;
    EXPECT_EQ(api_.MQDoc_GetCurrentObjectIndex(sample.doc()), index);
  }
}

TEST_F(HostModuleTest, VisibilityIsNonzeroExactlyForVisibleObjects) {
  SampleDocument sample;
  EXPECT_NE(api_.MQObj_GetVisible(host::Handle(*sample.mesh)), 0);
  EXPECT_EQ(api_.MQObj_GetVisible(host::Handle(*sample.hidden)), 0);
  EXPECT_EQ(api_.MQObj_GetVisible(nullptr), 0);
  sample.mesh->visible = false;
  sample.hidden->visible = true;
  EXPECT_EQ(api_.MQObj_GetVisible(host::Handle(*sample.mesh)), 0);
  EXPECT_NE(api_.MQObj_GetVisible(host::Handle(*sample.hidden)), 0);
}

// ---- Vertices and faces ------------------------------------------------------

TEST_F(HostModuleTest, CountsOfAnObject) {
  SampleDocument sample;
  const MQObject mesh = host::Handle(*sample.mesh);
  EXPECT_EQ(api_.MQObj_GetVertexCount(mesh), 5);
  EXPECT_EQ(api_.MQObj_GetFaceCount(mesh), 4);
  const MQObject hidden = host::Handle(*sample.hidden);
  EXPECT_EQ(api_.MQObj_GetVertexCount(hidden), 0);
  EXPECT_EQ(api_.MQObj_GetFaceCount(hidden), 0);
  EXPECT_EQ(api_.MQObj_GetVertexCount(nullptr), 0);
  EXPECT_EQ(api_.MQObj_GetFaceCount(nullptr), 0);
}

TEST_F(HostModuleTest, VertexPositionsAreReadBitForBit) {
  SampleDocument sample;
  const MQObject mesh = host::Handle(*sample.mesh);
  for (int v = 0; v < 5; ++v) {
    SCOPED_TRACE(v);
    Vec3 position = {9.0f, 9.0f, 9.0f};
    api_.MQObj_GetVertex(mesh, v, &position);
    ExpectVec3Bits(position, sample.mesh->vertices[v]);
  }
}

TEST_F(HostModuleTest, VertexOutOfRangeOrOfNoObjectReadsAsOrigin) {
  SampleDocument sample;
  const struct {
    MQObject object;
    int vertex;
  } cases[] = {
      {host::Handle(*sample.mesh), -1},      {host::Handle(*sample.mesh), 5},
      {host::Handle(*sample.mesh), 9},       {host::Handle(*sample.mesh), INT32_MIN},
      {host::Handle(*sample.hidden), 0},     {nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vertex);
    Vec3 position = {9.0f, -9.0f, 9.0f};
    api_.MQObj_GetVertex(c.object, c.vertex, &position);
    ExpectVec3Bits(position, {0.0f, 0.0f, 0.0f});
  }
  api_.MQObj_GetVertex(host::Handle(*sample.mesh), 0, nullptr);  // no buffer: nothing to fill
}

// Each face's points in corner order, and exactly as many entries written as
// the face has points (the entry after them keeps its sentinel).
TEST_F(HostModuleTest, FacePointsInCornerOrder) {
  SampleDocument sample;
  const MQObject mesh = host::Handle(*sample.mesh);
  const std::vector<std::vector<int>> expected = {{4, 0, 2}, {0, 1, 2, 3}, {0, 1, 2, 3, 4}, {0, 9, 1}};
  for (int f = 0; f < 4; ++f) {
    SCOPED_TRACE(f);
    const int count = api_.MQObj_GetFacePointCount(mesh, f);
    ASSERT_EQ(count, static_cast<int>(expected[f].size()));
    std::vector<int> points(count + 1, kSentinel);
    api_.MQObj_GetFacePointArray(mesh, f, points.data());
    EXPECT_EQ(std::vector<int>(points.begin(), points.begin() + count), expected[f]);
    EXPECT_EQ(points[count], kSentinel);
  }
}

TEST_F(HostModuleTest, FaceOutOfRangeOrOfNoObjectHasNoPoints) {
  SampleDocument sample;
  const struct {
    MQObject object;
    int face;
  } cases[] = {
      {host::Handle(*sample.mesh), -1}, {host::Handle(*sample.mesh), 4},  {host::Handle(*sample.mesh), INT32_MAX},
      {host::Handle(*sample.hidden), 0}, {nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.face);
    EXPECT_EQ(api_.MQObj_GetFacePointCount(c.object, c.face), 0);
    int points[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
    api_.MQObj_GetFacePointArray(c.object, c.face, points);
    Vec2 uvs[2] = {{5.0f, 5.0f}, {5.0f, 5.0f}};
    api_.MQObj_GetFaceCoordinateArray(c.object, c.face, uvs);
    for (int point : points) EXPECT_EQ(point, kSentinel);
    EXPECT_EQ(uvs[0].u, 5.0f);
  }
  api_.MQObj_GetFacePointArray(host::Handle(*sample.mesh), 0, nullptr);
  api_.MQObj_GetFaceCoordinateArray(host::Handle(*sample.mesh), 0, nullptr);
}

// One (u, v) per point in point order; a corner the face holds no UV for
// reads as (0, 0), and nothing is written past the last point.
TEST_F(HostModuleTest, FaceCoordinatesPerPointWithMissingOnesAsZero) {
  SampleDocument sample;
  const MQObject mesh = host::Handle(*sample.mesh);
  const std::vector<std::vector<Vec2>> expected = {
      {{0.125f, 0.875f}, {0.25f, 0.5f}, {1.0f, 0.0f}},
      {{0.75f, 0.25f}, {0.5f, 1.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}},
      {{0.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}},
      {{0.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}},
  };
  const Vec2 sentinel = {-3.5f, 7.25f};
  for (int f = 0; f < 4; ++f) {
    SCOPED_TRACE(f);
    const size_t count = expected[f].size();
    std::vector<Vec2> uvs(count + 1, sentinel);
    api_.MQObj_GetFaceCoordinateArray(mesh, f, uvs.data());
    for (size_t corner = 0; corner < count; ++corner) {
      EXPECT_EQ(FloatBits(uvs[corner].u), FloatBits(expected[f][corner].u)) << corner;
      EXPECT_EQ(FloatBits(uvs[corner].v), FloatBits(expected[f][corner].v)) << corner;
    }
    EXPECT_EQ(FloatBits(uvs[count].u), FloatBits(sentinel.u));
    EXPECT_EQ(FloatBits(uvs[count].v), FloatBits(sentinel.v));
  }
}

// ---- Compaction, selection, view --------------------------------------------

// Slots [A, empty, B, empty, C] with B current and a selection on B and C:
// after compaction the objects close up in order, and the current index and
// the selection follow their objects.
TEST_F(HostModuleTest, CompactRemovesEmptySlotsKeepingOrderAndCurrentObject) {
  Document document;
  Object& a = host::AddObject(document, "A");
  document.objects.push_back(nullptr);
  Object& b = host::AddObject(document, "B");
  document.objects.push_back(nullptr);
  Object& c = host::AddObject(document, "C");
  document.currentObject = 2;
  document.selectedVertices = {{2, 0}, {4, 1}};
  document.selectedFaces = {{4, 3}};

  api_.MQDoc_Compact(host::Handle(document));
  EXPECT_EQ(document.compactCount, 1);
  ASSERT_EQ(api_.MQDoc_GetObjectCount(host::Handle(document)), 3);
  EXPECT_EQ(api_.MQDoc_GetObject(host::Handle(document), 0), host::Handle(a));
  EXPECT_EQ(api_.MQDoc_GetObject(host::Handle(document), 1), host::Handle(b));
  EXPECT_EQ(api_.MQDoc_GetObject(host::Handle(document), 2), host::Handle(c));
  EXPECT_EQ(api_.MQDoc_GetCurrentObjectIndex(host::Handle(document)), 1);
  EXPECT_EQ(document.selectedVertices, (std::set<std::pair<int, int>>{{1, 0}, {2, 1}}));
  EXPECT_EQ(document.selectedFaces, (std::set<std::pair<int, int>>{{2, 3}}));

  // A compact document stays as it is, but the call still counts.
  api_.MQDoc_Compact(host::Handle(document));
  EXPECT_EQ(document.compactCount, 2);
  EXPECT_EQ(api_.MQDoc_GetObjectCount(host::Handle(document)), 3);
  EXPECT_EQ(api_.MQDoc_GetObject(host::Handle(document), 2), host::Handle(c));
  api_.MQDoc_Compact(nullptr);
}

// The current object's slot was empty: no object is current afterwards. An
// index that named no slot is left as it was.
TEST_F(HostModuleTest, CompactWithTheCurrentSlotEmptyOrOutOfRange) {
  const struct {
    int before;
    int after;
  } cases[] = {{1, -1}, {3, 3}, {-2, -2}, {2, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    Document document;
    host::AddObject(document, "A");
    document.objects.push_back(nullptr);
    host::AddObject(document, "B");
    document.currentObject = c.before;
    api_.MQDoc_Compact(host::Handle(document));
    EXPECT_EQ(document.currentObject, c.after);
  }
}

TEST_F(HostModuleTest, ClearSelectWithAllFlagsClearsTheWholeSelection) {
  SampleDocument sample;
  Document& document = sample.document;
  document.selectedVertices = {{0, 1}, {0, 4}};
  document.selectedFaces = {{0, 2}};
  document.selectedLines = {{0, 1, 3}};
  document.selectedUVVertices = {{0, 0, 2}};
  api_.MQDoc_ClearSelect(sample.doc(), 7);
  EXPECT_TRUE(document.selectedVertices.empty());
  EXPECT_TRUE(document.selectedFaces.empty());
  EXPECT_TRUE(document.selectedLines.empty());
  EXPECT_TRUE(document.selectedUVVertices.empty());
  EXPECT_EQ(document.clearSelectCount, 1);
  EXPECT_EQ(document.lastClearSelectFlags, 7u);
  // The geometry is not touched.
  EXPECT_EQ(document.objects.size(), 3u);
  EXPECT_EQ(sample.mesh->faces.size(), 4u);
  api_.MQDoc_ClearSelect(nullptr, 7);
}

TEST_F(HostModuleTest, ClearSelectFlagsPickTheKindsCleared) {
  const struct {
    unsigned flags;
    bool vertices, lines, faces;
  } cases[] = {
      {0, false, false, false}, {1, true, false, false}, {2, false, true, false},
      {4, false, false, true},  {5, true, false, true},  {7, true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    Document document;
    host::AddObject(document, "A");
    document.selectedVertices = {{0, 0}};
    document.selectedUVVertices = {{0, 0, 0}};
    document.selectedLines = {{0, 0, 0}};
    document.selectedFaces = {{0, 0}};
    api_.MQDoc_ClearSelect(host::Handle(document), c.flags);
    EXPECT_EQ(document.selectedVertices.empty(), c.vertices);
    EXPECT_EQ(document.selectedUVVertices.empty(), c.vertices);
    EXPECT_EQ(document.selectedLines.empty(), c.lines);
    EXPECT_EQ(document.selectedFaces.empty(), c.faces);
    EXPECT_EQ(document.lastClearSelectFlags, c.flags);
    EXPECT_EQ(document.clearSelectCount, 1);
  }
}

TEST_F(HostModuleTest, WindowHandleIsTheMainWindowSet) {
  EXPECT_EQ(api_.MQ_GetWindowHandle(), nullptr);
  const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xC0FFEE));
  host::SetMainWindow(window);
  EXPECT_EQ(api_.MQ_GetWindowHandle(), window);
  host::SetMainWindow(nullptr);
  EXPECT_EQ(api_.MQ_GetWindowHandle(), nullptr);
}

// ---- Call log ----------------------------------------------------------------

// The order an invocation makes its calls in, bad arguments included: every
// call is logged, whatever its arguments.
TEST_F(HostModuleTest, CallLogRecordsEveryCallInOrder) {
  SampleDocument sample;
  const MQDocument doc = sample.doc();
  int points[8];
  Vec2 uvs[8];
  Vec3 position;
  api_.MQDoc_Compact(doc);
  const MQObject mesh = api_.MQDoc_GetObject(doc, api_.MQDoc_GetCurrentObjectIndex(doc) - 1);
  api_.MQObj_GetFaceCount(mesh);
  api_.MQObj_GetVertexCount(mesh);
  api_.MQObj_GetFacePointCount(mesh, 0);
  api_.MQObj_GetFacePointArray(mesh, 0, points);
  api_.MQObj_GetFaceCoordinateArray(mesh, 0, uvs);
  api_.MQObj_GetVertex(mesh, 4, &position);
  api_.MQDoc_GetObjectCount(nullptr);
  api_.MQObj_GetVisible(nullptr);
  api_.MQ_GetWindowHandle();
  api_.MQDoc_ClearSelect(doc, 7);
  api_.MQ_RefreshView(nullptr);
  api_.MQDoc_Compact(doc);

  const std::vector<std::string> expected = {
      "MQDoc_Compact",          "MQDoc_GetCurrentObjectIndex",  "MQDoc_GetObject",
      "MQObj_GetFaceCount",     "MQObj_GetVertexCount",         "MQObj_GetFacePointCount",
      "MQObj_GetFacePointArray", "MQObj_GetFaceCoordinateArray", "MQObj_GetVertex",
      "MQDoc_GetObjectCount",   "MQObj_GetVisible",             "MQ_GetWindowHandle",
      "MQDoc_ClearSelect",      "MQ_RefreshView",               "MQDoc_Compact",
  };
  EXPECT_EQ(host::CallLog(), expected);
  EXPECT_EQ(host::CallCount("MQDoc_Compact"), 2);
  EXPECT_EQ(host::CallCount("MQ_RefreshView"), 1);
  EXPECT_EQ(host::CallCount("MQObj_GetFaceCount"), 1);
  EXPECT_EQ(host::CallCount("MQObj_GetFace"), 0);  // names match whole
  EXPECT_EQ(host::CallCount("MQMat_SetBumpName"), 0);

  host::ClearCallLog();
  EXPECT_TRUE(host::CallLog().empty());
  EXPECT_EQ(host::CallCount("MQDoc_Compact"), 0);
  api_.MQ_RefreshView(nullptr);
  EXPECT_EQ(host::CallLog(), std::vector<std::string>{"MQ_RefreshView"});
}

// CallLog() keeps returning the same up-to-date list as calls go on.
TEST_F(HostModuleTest, CallLogGrowsBetweenReads) {
  const std::vector<std::string>& log = host::CallLog();
  EXPECT_TRUE(log.empty());
  api_.MQ_RefreshView(nullptr);
  EXPECT_EQ(host::CallLog().size(), 1u);
  api_.MQDoc_GetObjectCount(nullptr);
  api_.MQ_RefreshView(nullptr);
  EXPECT_EQ(host::CallLog(), (std::vector<std::string>{"MQ_RefreshView", "MQDoc_GetObjectCount", "MQ_RefreshView"}));
}

// ---- Some of the entry points the plug-in does not call ---------------------

TEST_F(HostModuleTest, ObjectsBuiltThroughTheEntryPoints) {
  Document document;
  const MQObject created = MQ_CreateObject();
  ASSERT_NE(created, nullptr);
  MQObj_SetName(created, "built");
  const Vec3 corners[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(MQObj_AddVertex(created, &corners[i]), i);
  const int triangle[3] = {2, 1, 0};
  const int outOfRange[3] = {0, 1, 3};
  EXPECT_EQ(MQObj_AddFace(created, 3, triangle), 0);
  EXPECT_EQ(MQObj_AddFace(created, 3, outOfRange), -1);
  EXPECT_EQ(MQDoc_AddObject(host::Handle(document), created), 0);
  // An object the document already holds is not the module's to give again.
  EXPECT_EQ(MQDoc_AddObject(host::Handle(document), created), -1);

  ASSERT_EQ(api_.MQDoc_GetObjectCount(host::Handle(document)), 1);
  EXPECT_EQ(api_.MQDoc_GetObject(host::Handle(document), 0), created);
  EXPECT_EQ(api_.MQObj_GetFaceCount(created), 1);
  int points[3] = {};
  api_.MQObj_GetFacePointArray(created, 0, points);
  EXPECT_EQ(points[0], 2);
  EXPECT_EQ(points[2], 0);

  // Names are cut to the buffer and always terminated.
  char name[8];
  MQObj_GetName(created, name, sizeof name);
  EXPECT_STREQ(name, "built");
  MQObj_GetName(created, name, 4);
  EXPECT_STREQ(name, "bui");
  MQObj_GetName(nullptr, name, sizeof name);
  EXPECT_STREQ(name, "");

  MQObj_SetVisible(created, 0);
  EXPECT_EQ(api_.MQObj_GetVisible(created), 0);
}

TEST_F(HostModuleTest, DeletedObjectLeavesAnEmptySlotUntilCompacted) {
  SampleDocument sample;
  const MQObject mesh = host::Handle(*sample.mesh);
  EXPECT_TRUE(MQDoc_AddSelectVertex(sample.doc(), mesh, 3));
  EXPECT_FALSE(MQDoc_AddSelectVertex(sample.doc(), mesh, 5));
  EXPECT_FALSE(MQDoc_AddSelectVertex(sample.doc(), nullptr, 0));
  EXPECT_TRUE(MQDoc_IsSelectVertex(sample.doc(), mesh, 3));
  EXPECT_FALSE(MQDoc_IsSelectVertex(sample.doc(), mesh, 2));

  MQDoc_DeleteObject(sample.doc(), 2);
  EXPECT_EQ(api_.MQDoc_GetObjectCount(sample.doc()), 3);
  EXPECT_EQ(api_.MQDoc_GetObject(sample.doc(), 2), nullptr);
  api_.MQDoc_Compact(sample.doc());
  EXPECT_EQ(api_.MQDoc_GetObjectCount(sample.doc()), 1);
  EXPECT_EQ(api_.MQDoc_GetObject(sample.doc(), 0), mesh);
  EXPECT_TRUE(MQDoc_IsSelectVertex(sample.doc(), mesh, 3));
}

// ---- Export table -----------------------------------------------------------

// The dynamic symbols a module defines, as `nm -D --defined-only -C` lists
// them; false when nm cannot be run.
bool DefinedDynamicSymbols(const std::string& path, std::vector<std::string>& names) {
  const std::string command = "nm -D --defined-only -C '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    // "<address> <type> <name>"; the demangled name may hold spaces.
    const size_t first = text.find(' ');
    const size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
    if (second != std::string::npos) names.push_back(text.substr(second + 1));
  }
  return pclose(pipe) == 0;
}

// The exports are exactly the host entry points (less the omitted one) and
// the host:: C++ API: no helper and no standard-library instantiation leaks.
TEST(HostModuleExportsTest, EachModuleExportsExactlyItsEntryPointsAndTheApi) {
  const struct {
    const char* path;
    const char* omitted;
  } modules[] = {
      {TAMSINK_HOST_MODULE, nullptr},
      {TAMSINK_HOST_REFCOUNT_MODULE, nullptr},
      {TAMSINK_HOST_NO_LAST_MODULE, "MQMat_SetBumpName"},
      {TAMSINK_HOST_NO_MIDDLE_MODULE, "MQObj_GetFaceCount"},
  };
  const std::multiset<std::string> expectedApi = {"host::Handle",   "host::Handle",       "host::AddObject",
                                                  "host::CallLog",  "host::ClearCallLog", "host::CallCount",
                                                  "host::SetMainWindow"};
  for (const auto& module : modules) {
    SCOPED_TRACE(module.path);
    std::vector<std::string> names;
    if (!DefinedDynamicSymbols(module.path, names)) GTEST_SKIP() << "nm is not available";
    std::set<std::string> expectedEntries(kHostEntryPointNames, kHostEntryPointNames + kHostEntryPointCount);
    if (module.omitted != nullptr) expectedEntries.erase(module.omitted);

    std::set<std::string> entries;
    std::multiset<std::string> api;
    for (const std::string& name : names) {
      if (name.compare(0, 2, "MQ") == 0) {
        entries.insert(name);
      } else {
        // The function name without its parameters or ABI tag.
        api.insert(name.substr(0, name.find_first_of("([")));
      }
    }
    EXPECT_EQ(entries, expectedEntries);
    EXPECT_EQ(api, expectedApi);
    EXPECT_EQ(names.size(), expectedEntries.size() + expectedApi.size()) << "an entry point is exported twice";
  }
}

}  // namespace
