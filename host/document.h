// The stand-in host's document model and the C++ API that tests and the
// command-line baker use to build documents and to see what the plug-in did
// with them. The module's exported entry points (host_module.cpp) work on this
// same model; a document or object handle is the address of a Document or an
// Object.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "math/vecmath.h"
#include "shell/host_api.h"

#define TAMSINK_HOST_API __attribute__((visibility("default")))

namespace host {

struct Face {
  std::vector<int> points;  // vertex index per corner, in corner order
  std::vector<Vec2> uvs;    // one (u, v) per corner; missing entries read as (0, 0)
  int material = -1;
};

struct Object {
  std::string name;
  bool visible = true;
  std::vector<Vec3> vertices;
  std::vector<Face> faces;
};

struct Document {
  // Slots may be empty (a deleted object) until the document is compacted.
  std::vector<std::unique_ptr<Object>> objects;
  int currentObject = 0;
  // Selection: (object index, element index) pairs.
  std::set<std::pair<int, int>> selectedVertices;
  std::set<std::pair<int, int>> selectedFaces;
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

}  // namespace host
