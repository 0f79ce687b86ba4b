#include "test_support.h"

#include <gtest/gtest.h>

#include "document.h"
#include "shell/plugin_state.h"
#include "window_internal.h"

void BindStandInHost(host::Document& document) {
  ASSERT_EQ(BindHostApi(g_plugin.host, TAMSINK_HOST_MODULE), 1);
  g_plugin.document = host::Handle(document);
}

void AddFace(host::Object& object, std::initializer_list<Vec3> corners,
             std::initializer_list<Vec2> uvs) {
  host::Face face;
  for (const Vec3& corner : corners) {
    face.points.push_back(static_cast<int>(object.vertices.size()));
    object.vertices.push_back(corner);
  }
  face.uvs.assign(uvs.begin(), uvs.end());
  face.uvs.resize(face.points.size(), Vec2{0.0f, 0.0f});
  object.faces.push_back(face);
}

namespace {
INT_PTR HandlesNothing(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
}  // namespace

PlatformWindow* MakeTestWindow(PlatformWindow* parent, const char* className, int id,
                               const char* text) {
  PlatformWindowSpec params;
  params.parent = parent;
  params.className = parent == nullptr ? "#32770" : className;
  params.id = id;
  params.text = text;
  if (parent == nullptr) params.dialogProc = &HandlesNothing;
  return PlatformCreateWindow(params);
}
