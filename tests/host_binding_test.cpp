// BindHostApi against the stand-in host module and its variants: which
// members it binds, what it leaves alone when a name is missing, and that it
// leaves the module's reference count as it found it.
#include <dlfcn.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "document.h"
#include "shell/host_api.h"

namespace {

// The member names in declaration order, written out by the list macro the
// struct itself is built from, so that a member can be found by its name.
const std::vector<std::string>& MemberNames() {
  static const std::vector<std::string> names = {
#define NAME_TYPED(name, result, params) #name,
#define NAME_UNTYPED(name) #name,
      TAMSINK_HOST_ENTRY_POINTS(NAME_TYPED, NAME_UNTYPED)
#undef NAME_TYPED
#undef NAME_UNTYPED
  };
  return names;
}

template <typename Proc>
void* AddressOf(Proc proc) {
  void* address;
  static_assert(sizeof address == sizeof proc, "function pointers differ in size");
  std::memcpy(&address, &proc, sizeof address);
  return address;
}

// Every member's value, in binding order.
std::vector<void*> Members(const HostApi& api) {
  std::vector<void*> values;
#define VALUE_TYPED(name, result, params) values.push_back(AddressOf(api.name));
#define VALUE_UNTYPED(name) values.push_back(AddressOf(api.name));
  TAMSINK_HOST_ENTRY_POINTS(VALUE_TYPED, VALUE_UNTYPED)
#undef VALUE_TYPED
#undef VALUE_UNTYPED
  return values;
}

int IndexOfName(const std::string& name) {
  const std::vector<std::string>& names = MemberNames();
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<int>(i);
  }
  return -1;
}

// A HostApi whose every member holds the same recognisable non-null value, so
// that a member the binding did not touch can be told from a bound or
// cleared one.
void* const kSentinel = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5EA1ED00));

HostApi SentinelApi() {
  HostApi api;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&api);
  for (size_t offset = 0; offset < sizeof api; offset += sizeof(void*)) {
    std::memcpy(bytes + offset, &kSentinel, sizeof(void*));
  }
  return api;
}

// The module's own addresses of the names, looked up independently of
// BindHostApi; null for a name the module does not export.
std::vector<void*> ExportedAddresses(void* module) {
  std::vector<void*> addresses;
  for (const std::string& name : MemberNames()) addresses.push_back(dlsym(module, name.c_str()));
  return addresses;
}

bool IsLoaded(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);  // a successful RTLD_NOLOAD takes a reference too
  return true;
}

TEST(HostBindingTest, StructHoldsOnePointerPerEntryPointInNameOrder) {
  static_assert(sizeof(HostApi) == kHostEntryPointCount * sizeof(HostProc), "HostApi has exactly 122 members");
  ASSERT_EQ(MemberNames().size(), 122u);
  EXPECT_EQ(std::set<std::string>(MemberNames().begin(), MemberNames().end()).size(), 122u) << "names repeat";
  for (int i = 0; i < kHostEntryPointCount; ++i) EXPECT_EQ(MemberNames()[i], kHostEntryPointNames[i]) << i;
  // Fixed points of the host's binding order.
  EXPECT_EQ(MemberNames().front(), "MQ_GetWindowHandle");
  EXPECT_EQ(MemberNames()[8], "MQ_RefreshView");
  EXPECT_EQ(MemberNames()[50], "MQObj_GetFaceCount");
  EXPECT_EQ(MemberNames().back(), "MQMat_SetBumpName");
}

TEST(HostBindingTest, FullModuleBindsEveryMemberToItsOwnName) {
  void* module = dlopen(TAMSINK_HOST_MODULE, RTLD_NOW);
  ASSERT_NE(module, nullptr) << dlerror();
  const std::vector<void*> expected = ExportedAddresses(module);

  HostApi api = SentinelApi();
  EXPECT_EQ(BindHostApi(api, TAMSINK_HOST_MODULE), 1);
  const std::vector<void*> bound = Members(api);
  for (int i = 0; i < kHostEntryPointCount; ++i) {
    SCOPED_TRACE(MemberNames()[i]);
    ASSERT_NE(expected[i], nullptr) << "the full module lacks the name";
    EXPECT_EQ(bound[i], expected[i]);
  }
  dlclose(module);
}

TEST(HostBindingTest, BoundTypedMembersWorkOnADocument) {
  HostApi api = SentinelApi();
  ASSERT_EQ(BindHostApi(api, TAMSINK_HOST_MODULE), 1);

  host::Document document;
  host::Object& cube = host::AddObject(document, "cube");
  cube.vertices = {{1.5f, -2.0f, 3.25f}, {0.0f, 1.0f, 0.0f}, {4.0f, 5.0f, 6.0f}};
  cube.faces.push_back({{2, 0, 1}, {{0.25f, 0.75f}, {0.5f, 0.5f}, {1.0f, 0.0f}}});
  host::AddObject(document, "hidden").visible = false;
  document.currentObject = 1;
  const MQDocument doc = host::Handle(document);

  // The module the test executable links is the one bound (the same path), so
  // its call log sees the calls made through the bound pointers.
  host::ClearCallLog();
  EXPECT_EQ(api.MQDoc_GetObjectCount(doc), 2);
  EXPECT_EQ(api.MQDoc_GetCurrentObjectIndex(doc), 1);
  const MQObject object = api.MQDoc_GetObject(doc, 0);
  EXPECT_EQ(object, host::Handle(cube));
  EXPECT_NE(api.MQObj_GetVisible(object), 0);
  EXPECT_EQ(api.MQObj_GetVisible(api.MQDoc_GetObject(doc, 1)), 0);
  EXPECT_EQ(api.MQObj_GetVertexCount(object), 3);
  EXPECT_EQ(api.MQObj_GetFaceCount(object), 1);
  EXPECT_EQ(api.MQObj_GetFacePointCount(object, 0), 3);
  int points[3] = {-1, -1, -1};
  api.MQObj_GetFacePointArray(object, 0, points);
  EXPECT_EQ(points[0], 2);
  EXPECT_EQ(points[1], 0);
  EXPECT_EQ(points[2], 1);
  Vec2 uvs[3] = {};
  api.MQObj_GetFaceCoordinateArray(object, 0, uvs);
  EXPECT_EQ(uvs[0].u, 0.25f);
  EXPECT_EQ(uvs[0].v, 0.75f);
  EXPECT_EQ(uvs[2].u, 1.0f);
  Vec3 position = {};
  api.MQObj_GetVertex(object, 0, &position);
  EXPECT_EQ(position.x, 1.5f);
  EXPECT_EQ(position.y, -2.0f);
  EXPECT_EQ(position.z, 3.25f);
  api.MQDoc_Compact(doc);
  api.MQDoc_ClearSelect(doc, 7);
  api.MQ_RefreshView(nullptr);
  host::SetMainWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)));
  EXPECT_EQ(api.MQ_GetWindowHandle(), reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)));
  host::SetMainWindow(nullptr);
  EXPECT_EQ(document.compactCount, 1);
  EXPECT_EQ(document.clearSelectCount, 1);
  // Each of the fourteen once, and MQDoc_GetObject and MQObj_GetVisible twice.
  EXPECT_EQ(host::CallLog().size(), 16u);
#define EXPECT_CALLED(name, result, params) EXPECT_GE(host::CallCount(#name), 1) << #name;
#define IGNORE_UNTYPED(name)
  TAMSINK_HOST_ENTRY_POINTS(EXPECT_CALLED, IGNORE_UNTYPED)
#undef EXPECT_CALLED
#undef IGNORE_UNTYPED
}

TEST(HostBindingTest, ModuleWithoutTheLastNameFailsAfterBindingAllOthers) {
  void* module = dlopen(TAMSINK_HOST_NO_LAST_MODULE, RTLD_NOW);
  ASSERT_NE(module, nullptr) << dlerror();
  const std::vector<void*> expected = ExportedAddresses(module);
  ASSERT_EQ(expected.back(), nullptr) << "the variant still exports MQMat_SetBumpName";

  HostApi api = SentinelApi();
  EXPECT_EQ(BindHostApi(api, TAMSINK_HOST_NO_LAST_MODULE), 0);
  const std::vector<void*> bound = Members(api);
  for (int i = 0; i < kHostEntryPointCount - 1; ++i) {
    SCOPED_TRACE(MemberNames()[i]);
    ASSERT_NE(expected[i], nullptr);
    EXPECT_EQ(bound[i], expected[i]);
  }
  EXPECT_EQ(api.MQMat_SetBumpName, nullptr);
  dlclose(module);
}

TEST(HostBindingTest, ModuleWithoutAMiddleNameStopsThereAndLeavesTheRest) {
  const int missing = IndexOfName("MQObj_GetFaceCount");
  ASSERT_GT(missing, 0);
  void* module = dlopen(TAMSINK_HOST_NO_MIDDLE_MODULE, RTLD_NOW);
  ASSERT_NE(module, nullptr) << dlerror();
  const std::vector<void*> expected = ExportedAddresses(module);
  ASSERT_EQ(expected[missing], nullptr) << "the variant still exports MQObj_GetFaceCount";

  HostApi api = SentinelApi();
  EXPECT_EQ(BindHostApi(api, TAMSINK_HOST_NO_MIDDLE_MODULE), 0);
  const std::vector<void*> bound = Members(api);
  for (int i = 0; i < kHostEntryPointCount; ++i) {
    SCOPED_TRACE(MemberNames()[i]);
    if (i < missing) {
      EXPECT_EQ(bound[i], expected[i]);
    } else if (i == missing) {
      EXPECT_EQ(bound[i], nullptr);
    } else {
      ASSERT_NE(expected[i], nullptr) << "the variant lacks more than one name";
      EXPECT_EQ(bound[i], kSentinel);
    }
  }
  dlclose(module);
}

TEST(HostBindingTest, UnloadablePathFailsWithoutTouchingTheStruct) {
  const char* const paths[] = {
      "/nonexistent/tamsink_host.so",  // no such file
      "/dev/null",                     // a file that is no module
      "/",                             // a directory
  };
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    HostApi api = SentinelApi();
    EXPECT_EQ(BindHostApi(api, path), 0);
    for (void* member : Members(api)) EXPECT_EQ(member, kSentinel);
  }
}

// The refcount variant is linked into no executable, so whether it is loaded
// is decided by this test's own references alone.
TEST(HostBindingTest, BindingLeavesNoReferenceOnTheModule) {
  const char* path = TAMSINK_HOST_REFCOUNT_MODULE;
  ASSERT_FALSE(IsLoaded(path));

  void* hostReference = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(hostReference, nullptr) << dlerror();
  HostApi api = SentinelApi();
  EXPECT_EQ(BindHostApi(api, path), 1);
  EXPECT_NE(api.MQMat_SetBumpName, nullptr);
  ASSERT_TRUE(IsLoaded(path)) << "the binding gave back a reference it did not take";
  dlclose(hostReference);
  EXPECT_FALSE(IsLoaded(path)) << "the binding kept a reference on the module";
}

// The control case of the test above: one extra reference keeps the module
// loaded, so the check there can see a reference left behind.
TEST(HostBindingTest, AnExtraReferenceKeepsTheModuleLoaded) {
  const char* path = TAMSINK_HOST_REFCOUNT_MODULE;
  ASSERT_FALSE(IsLoaded(path));

  void* hostReference = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  void* extraReference = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(hostReference, nullptr) << dlerror();
  ASSERT_NE(extraReference, nullptr) << dlerror();
  HostApi api = SentinelApi();
  EXPECT_EQ(BindHostApi(api, path), 1);
  dlclose(hostReference);
  EXPECT_TRUE(IsLoaded(path));
  dlclose(extraReference);
  EXPECT_FALSE(IsLoaded(path));
}

// Without the host's own reference the binding's load is the only one, and
// it is given back both on success and on failure.
TEST(HostBindingTest, BindingUnloadsAModuleNobodyElseHolds) {
  const char* const paths[] = {TAMSINK_HOST_REFCOUNT_MODULE, TAMSINK_HOST_NO_LAST_MODULE,
                               TAMSINK_HOST_NO_MIDDLE_MODULE};
  const int results[] = {1, 0, 0};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(paths[i]);
    ASSERT_FALSE(IsLoaded(paths[i]));
    HostApi api = SentinelApi();
    EXPECT_EQ(BindHostApi(api, paths[i]), results[i]);
    EXPECT_FALSE(IsLoaded(paths[i]));
  }
}

}  // namespace
