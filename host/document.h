// The stand-in host's document model and the C++ API that tests and the
// command-line baker use to build documents and to see what the plug-in did
// with them. The module's exported entry points (host_module.cpp) work on this
// same model; a document, object, material or scene handle is the address of
// a Document, Object, Material or Scene.
//
// The model is plain data: build it by filling the structs directly (AddObject
// is a shorthand). The entry points never crash on bad input from the
// plug-in: a null handle or an index out of range reads as 0, null or zeros
// and makes a setter do nothing. Only the host's user-interface thread (the
// test's thread) touches the model and the call log.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "math/vecmath.h"
#include "shell/host_api.h"

#ifdef _WIN32
// Named exports of the host module DLL. Its users import them, so that the
// address of one is inside the module (the baker finds the module's path by
// it), not an import thunk of their own.
#ifdef TAMSINK_HOST_BUILDING
#define TAMSINK_HOST_API __declspec(dllexport)
#else
#define TAMSINK_HOST_API __declspec(dllimport)
#endif
#else
#define TAMSINK_HOST_API __attribute__((visibility("default")))
#endif

// Handles of the host's own kinds that the plug-in never uses.
typedef struct MQMaterialHandle* MQMaterial;
typedef struct MQSceneHandle* MQScene;

namespace host {

// Vertex and corner colours are 32-bit words the host only stores; white by
// default.
constexpr uint32_t kWhite = 0xFFFFFFFFu;

// MQDoc_ClearSelect flags; 7 clears everything. Vertex selection includes the
// UV vertices, which are vertices seen in the UV view.
constexpr unsigned kClearSelectVertex = 1;
constexpr unsigned kClearSelectLine = 2;
constexpr unsigned kClearSelectFace = 4;

// Every member has an initialiser, so that a brace list naming only the
// first members (Face{{0, 1, 2}, {uv0, uv1, uv2}}) compiles without warnings.
struct Face {
  std::vector<int> points{};       // vertex index per corner, in corner order
  std::vector<Vec2> uvs{};         // one (u, v) per corner; missing entries read as (0, 0)
  int material = -1;               // index into Document::materials, -1 for none
  std::vector<uint32_t> colors{};  // per corner; missing entries read as kWhite
};

struct Object {
  std::string name{};
  bool visible = true;
  std::vector<Vec3> vertices{};
  std::vector<Face> faces{};
  // Per vertex; missing entries read as kWhite and 1.
  std::vector<uint32_t> vertexColors{};
  std::vector<float> vertexWeights{};
  // Display and modelling attributes the host only stores.
  int patchType = 0;
  int patchSegment = 1;
  int shading = 1;
  float smoothAngle = 59.5f;
  int mirrorType = 0;
  uint32_t mirrorAxis = 1;
  float mirrorDistance = 0.0f;
  int latheType = 0;
  int latheAxis = 0;
  int latheSegment = 12;
};

struct Material {
  std::string name{};
  Vec3 color{1.0f, 1.0f, 1.0f};
  float alpha = 1.0f;
  float diffuse = 0.8f;
  float ambient = 0.6f;
  float emission = 0.0f;
  float specular = 0.0f;
  float power = 5.0f;
  std::string textureName{};
  std::string alphaName{};
  std::string bumpName{};
  std::map<int, int> intValues{};                     // by value type; absent reads as 0
  std::map<int, std::array<float, 4>> floatArrays{};  // by value type; absent reads as zeros
};

// One view of the document: its size and its two matrices (row vectors, as
// in vecmath.h), identity by default.
struct Scene {
  int width = 0;
  int height = 0;
  Matrix4 projection{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  Matrix4 view{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
};

struct Document {
  // Slots may be empty (a deleted object) until the document is compacted.
  std::vector<std::unique_ptr<Object>> objects{};
  int currentObject = 0;
  // Slots may be empty (a deleted material) until the document is compacted.
  std::vector<std::unique_ptr<Material>> materials{};
  int currentMaterial = 0;
  // Selection: (object index, element index) pairs.
  std::set<std::pair<int, int>> selectedVertices{};
  std::set<std::pair<int, int>> selectedFaces{};
  // (object index, face index, line index); line i runs from corner i to i + 1.
  std::set<std::tuple<int, int, int>> selectedLines{};
  // (object index, face index, corner index).
  std::set<std::tuple<int, int, int>> selectedUVVertices{};
  Scene scene{};  // the one view, MQDoc_GetScene index 0
  // Counters of the calls tests need to see.
  int compactCount = 0;
  int clearSelectCount = 0;
  unsigned lastClearSelectFlags = 0;
};

// Handles as the plug-in sees them.
TAMSINK_HOST_API MQDocument Handle(Document& document);
TAMSINK_HOST_API MQObject Handle(Object& object);

// Adds an object at the end of the document and returns it.
TAMSINK_HOST_API Object& AddObject(Document& document, const std::string& name);

// Every entry point the module has run, by name, in call order, since the
// last ClearCallLog.
TAMSINK_HOST_API const std::vector<std::string>& CallLog();
TAMSINK_HOST_API void ClearCallLog();
TAMSINK_HOST_API int CallCount(const std::string& name);

// The host's main window, as MQ_GetWindowHandle returns it (null by default).
TAMSINK_HOST_API void SetMainWindow(HWND window);

// Used by the module's entry points only; not exported.
// Appends an entry point's name (a string with static storage) to the log.
void RecordCall(const char* name);
HWND MainWindow();

}  // namespace host
