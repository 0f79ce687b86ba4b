// The stand-in host's 122 entry points, exported with C linkage under the
// names the plug-in binds, working on the document model of document.h. Every
// call appends its name to the call log before doing anything else.
//
// The fourteen entry points the plug-in calls have the exact signatures of the
// *_Proc types in host_api.h (checked at the end of this file). The plug-in
// never calls the others, so their signatures are this stand-in's own; each
// does the obvious thing on the model, or nothing where the model has nothing
// to act on (file dialogs, images, freezing, optimising).
//
// Bad input from the plug-in never crashes the host: a null handle or an index
// out of range reads as 0, null or zeros and makes a setter do nothing. Objects
// and materials created by MQ_CreateObject, MQObj_Clone and MQ_CreateMaterial
// belong to the module until a document takes them; MQObj_Delete and
// MQMat_Delete only destroy such detached ones, since a document's objects are
// removed through the document.
#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>

#include "document.h"

// A variant built with -DTAMSINK_HOST_OMIT_<Name> keeps that one entry point
// out of its export table, so that tests can see the binding fail at a chosen
// name. #ifdef cannot be used inside a macro, so TAMSINK_HOST_IS_OMITTED(name)
// tells "TAMSINK_HOST_OMIT_<name> is defined as 1" (what -D gives) from "not
// defined" by pasting its expansion onto a probe: a defined one becomes a
// probe macro that expands to two arguments and shifts the 1 into place.
#define TAMSINK_HOST_CAT(a, b) TAMSINK_HOST_CAT_(a, b)
#define TAMSINK_HOST_CAT_(a, b) a##b
#define TAMSINK_HOST_SECOND(...) TAMSINK_HOST_SECOND_(__VA_ARGS__)
#define TAMSINK_HOST_SECOND_(a, b, ...) b
#define TAMSINK_HOST_PROBE_1 ~, 1
#define TAMSINK_HOST_IS_OMITTED(name) \
  TAMSINK_HOST_SECOND(TAMSINK_HOST_CAT(TAMSINK_HOST_PROBE_, TAMSINK_HOST_OMIT_##name), 0, ~)
#ifdef _WIN32
// A DLL with explicit exports exports nothing else (no runtime symbol of the
// static GCC runtime); the omitted one is simply not exported.
#define TAMSINK_HOST_VISIBILITY_0 __declspec(dllexport)
#define TAMSINK_HOST_VISIBILITY_1
#else
#define TAMSINK_HOST_VISIBILITY_0 __attribute__((visibility("default")))
#define TAMSINK_HOST_VISIBILITY_1 __attribute__((visibility("hidden")))
#endif

// Opens the definition of one entry point: TAMSINK_HOST_ENTRY(int, Name)(...).
#define TAMSINK_HOST_ENTRY(result, name) \
  extern "C" TAMSINK_HOST_CAT(TAMSINK_HOST_VISIBILITY_, TAMSINK_HOST_IS_OMITTED(name)) result MQAPI name

#define TAMSINK_HOST_CALL() host::RecordCall(__func__)

using host::Document;
using host::Face;
using host::Material;
using host::Object;
using host::Scene;

namespace {

std::vector<std::unique_ptr<Object>> g_detachedObjects;
std::vector<std::unique_ptr<Material>> g_detachedMaterials;

Document* ToDocument(MQDocument doc) { return reinterpret_cast<Document*>(doc); }
Object* ToObject(MQObject obj) { return reinterpret_cast<Object*>(obj); }
Material* ToMaterial(MQMaterial mat) { return reinterpret_cast<Material*>(mat); }
Scene* ToScene(MQScene scene) { return reinterpret_cast<Scene*>(scene); }
MQObject ToHandle(Object* object) { return reinterpret_cast<MQObject>(object); }
MQMaterial ToHandle(Material* material) { return reinterpret_cast<MQMaterial>(material); }

bool InRange(int index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

int Count(size_t size) { return size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size); }

Face* FaceAt(MQObject obj, int face) {
  Object* object = ToObject(obj);
  if (object == nullptr || !InRange(face, object->faces.size())) return nullptr;
  return &object->faces[face];
}

bool HasVertex(const Object* object, int vertex) {
  return object != nullptr && InRange(vertex, object->vertices.size());
}

// The slot of `object` in the document, -1 when it is not there.
int IndexOf(const Document* doc, const Object* object) {
  if (doc == nullptr || object == nullptr) return -1;
  for (size_t i = 0; i < doc->objects.size(); ++i) {
    if (doc->objects[i].get() == object) return Count(i);
  }
  return -1;
}

// Copies `text` into a caller's buffer of `size` bytes, cut short if need be
// and always terminated.
void CopyText(const std::string& text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t length = std::min(text.size(), static_cast<size_t>(size) - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

std::string TextOrEmpty(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

// Removes `item` from the module's detached pool and hands it over; null when
// the module does not hold it.
template <typename T>
std::unique_ptr<T> TakeDetached(std::vector<std::unique_ptr<T>>& pool, const T* item) {
  for (auto it = pool.begin(); it != pool.end(); ++it) {
    if (it->get() == item) {
      std::unique_ptr<T> taken = std::move(*it);
      pool.erase(it);
      return taken;
    }
  }
  return nullptr;
}

template <typename Key>
void DropObjectEntries(std::set<Key>& selection, int objectIndex) {
  for (auto it = selection.begin(); it != selection.end();) {
    it = std::get<0>(*it) == objectIndex ? selection.erase(it) : std::next(it);
  }
}

// Renumbers the object index of every selection entry; entries of removed
// objects (new index -1) go.
template <typename Key>
void RenumberObjects(std::set<Key>& selection, const std::vector<int>& newIndex) {
  std::set<Key> renumbered;
  for (Key key : selection) {
    const int object = std::get<0>(key);
    if (!InRange(object, newIndex.size()) || newIndex[object] < 0) continue;
    std::get<0>(key) = newIndex[object];
    renumbered.insert(key);
  }
  selection = std::move(renumbered);
}

// Removes the empty slots of `slots`; returns the new index of every old slot,
// -1 for the empty ones.
template <typename T>
std::vector<int> RemoveEmptySlots(std::vector<std::unique_ptr<T>>& slots) {
  std::vector<int> newIndex(slots.size(), -1);
  int next = 0;
  for (size_t i = 0; i < slots.size(); ++i) {
    if (slots[i]) newIndex[i] = next++;
  }
  slots.erase(std::remove(slots.begin(), slots.end(), nullptr), slots.end());
  return newIndex;
}

// The current index after compaction: the same slot's new place, -1 when its
// slot was empty, unchanged when it named no slot at all.
int RenumberCurrent(int current, const std::vector<int>& newIndex) {
  return InRange(current, newIndex.size()) ? newIndex[current] : current;
}

Vec2 UvAt(const Face& face, size_t corner) { return corner < face.uvs.size() ? face.uvs[corner] : Vec2{0.0f, 0.0f}; }

uint32_t ColorAt(const std::vector<uint32_t>& colors, size_t index) {
  return index < colors.size() ? colors[index] : host::kWhite;
}

void SetColorAt(std::vector<uint32_t>& colors, size_t count, size_t index, uint32_t color) {
  if (colors.size() < count) colors.resize(count, host::kWhite);
  colors[index] = color;
}

float WeightAt(const Object& object, size_t vertex) {
  return vertex < object.vertexWeights.size() ? object.vertexWeights[vertex] : 1.0f;
}

void SetWeightAt(Object& object, size_t vertex, float weight) {
  if (object.vertexWeights.size() < object.vertices.size()) object.vertexWeights.resize(object.vertices.size(), 1.0f);
  object.vertexWeights[vertex] = weight;
}

// Whether the selection call names an element that exists: the object is in
// the document and the element index is in range.
bool IsSelectable(const Document* doc, const Object* object, int element, size_t elementCount) {
  return IndexOf(doc, object) >= 0 && InRange(element, elementCount);
}

}  // namespace

// ---- Application -----------------------------------------------------------

TAMSINK_HOST_ENTRY(HWND, MQ_GetWindowHandle)(void) {
  TAMSINK_HOST_CALL();
  return host::MainWindow();
}

TAMSINK_HOST_ENTRY(MQObject, MQ_CreateObject)(void) {
  TAMSINK_HOST_CALL();
  g_detachedObjects.push_back(std::make_unique<Object>());
  return ToHandle(g_detachedObjects.back().get());
}

TAMSINK_HOST_ENTRY(MQMaterial, MQ_CreateMaterial)(void) {
  TAMSINK_HOST_CALL();
  g_detachedMaterials.push_back(std::make_unique<Material>());
  return ToHandle(g_detachedMaterials.back().get());
}

// The stand-in has no user interface: every dialog is cancelled.
TAMSINK_HOST_ENTRY(BOOL, MQ_ShowFileDialog)(const char* /*title*/, void* /*parameters*/) {
  TAMSINK_HOST_CALL();
  return FALSE;
}

// The stand-in's axes are the file's axes: conversion leaves points as they are.
TAMSINK_HOST_ENTRY(void, MQ_ImportAxis)(void* /*parameters*/, Vec3* /*points*/, int /*count*/) { TAMSINK_HOST_CALL(); }

TAMSINK_HOST_ENTRY(void, MQ_ExportAxis)(void* /*parameters*/, Vec3* /*points*/, int /*count*/) { TAMSINK_HOST_CALL(); }

// No image loader: every load fails and yields no buffers.
TAMSINK_HOST_ENTRY(BOOL, MQ_LoadImage)(const char* /*fileName*/, void** header, void** bits, DWORD /*reserved*/) {
  TAMSINK_HOST_CALL();
  if (header != nullptr) *header = nullptr;
  if (bits != nullptr) *bits = nullptr;
  return FALSE;
}

// No installation directory: the path is empty.
TAMSINK_HOST_ENTRY(BOOL, MQ_GetSystemPath)(char* buffer, int /*type*/) {
  TAMSINK_HOST_CALL();
  if (buffer != nullptr) buffer[0] = '\0';
  return FALSE;
}

// The stand-in has no views; the call log records each redraw.
TAMSINK_HOST_ENTRY(void, MQ_RefreshView)(void* /*reserved*/) { TAMSINK_HOST_CALL(); }

// ---- Document: objects ------------------------------------------------------

// Empty slots count until the document is compacted.
TAMSINK_HOST_ENTRY(int, MQDoc_GetObjectCount)(MQDocument doc) {
  TAMSINK_HOST_CALL();
  const Document* document = ToDocument(doc);
  return document != nullptr ? Count(document->objects.size()) : 0;
}

TAMSINK_HOST_ENTRY(MQObject, MQDoc_GetObject)(MQDocument doc, int index) {
  TAMSINK_HOST_CALL();
  const Document* document = ToDocument(doc);
  if (document == nullptr || !InRange(index, document->objects.size())) return nullptr;
  return ToHandle(document->objects[index].get());
}

TAMSINK_HOST_ENTRY(int, MQDoc_GetCurrentObjectIndex)(MQDocument doc) {
  TAMSINK_HOST_CALL();
  const Document* document = ToDocument(doc);
  return document != nullptr ? document->currentObject : 0;
}

TAMSINK_HOST_ENTRY(void, MQDoc_SetCurrentObjectIndex)(MQDocument doc, int index) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  if (document != nullptr && InRange(index, document->objects.size())) document->currentObject = index;
}

// Takes a detached object into the document; returns its index, -1 when the
// object is not the module's to give.
TAMSINK_HOST_ENTRY(int, MQDoc_AddObject)(MQDocument doc, MQObject obj) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  if (document == nullptr) return -1;
  std::unique_ptr<Object> object = TakeDetached(g_detachedObjects, ToObject(obj));
  if (!object) return -1;
  document->objects.push_back(std::move(object));
  return Count(document->objects.size() - 1);
}

// Leaves the slot empty until the document is compacted.
TAMSINK_HOST_ENTRY(void, MQDoc_DeleteObject)(MQDocument doc, int index) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  if (document == nullptr || !InRange(index, document->objects.size())) return;
  document->objects[index].reset();
  DropObjectEntries(document->selectedVertices, index);
  DropObjectEntries(document->selectedFaces, index);
  DropObjectEntries(document->selectedLines, index);
  DropObjectEntries(document->selectedUVVertices, index);
}

TAMSINK_HOST_ENTRY(int, MQDoc_GetObjectIndex)(MQDocument doc, MQObject obj) {
  TAMSINK_HOST_CALL();
  return IndexOf(ToDocument(doc), ToObject(obj));
}

// ---- Document: materials ----------------------------------------------------

TAMSINK_HOST_ENTRY(int, MQDoc_GetMaterialCount)(MQDocument doc) {
  TAMSINK_HOST_CALL();
  const Document* document = ToDocument(doc);
  return document != nullptr ? Count(document->materials.size()) : 0;
}

TAMSINK_HOST_ENTRY(MQMaterial, MQDoc_GetMaterial)(MQDocument doc, int index) {
  TAMSINK_HOST_CALL();
  const Document* document = ToDocument(doc);
  if (document == nullptr || !InRange(index, document->materials.size())) return nullptr;
  return ToHandle(document->materials[index].get());
}

TAMSINK_HOST_ENTRY(int, MQDoc_GetCurrentMaterialIndex)(MQDocument doc) {
  TAMSINK_HOST_CALL();
  const Document* document = ToDocument(doc);
  return document != nullptr ? document->currentMaterial : 0;
}

TAMSINK_HOST_ENTRY(void, MQDoc_SetCurrentMaterialIndex)(MQDocument doc, int index) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  if (document != nullptr && InRange(index, document->materials.size())) document->currentMaterial = index;
}

TAMSINK_HOST_ENTRY(int, MQDoc_AddMaterial)(MQDocument doc, MQMaterial mat) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  if (document == nullptr) return -1;
  std::unique_ptr<Material> material = TakeDetached(g_detachedMaterials, ToMaterial(mat));
  if (!material) return -1;
  document->materials.push_back(std::move(material));
  return Count(document->materials.size() - 1);
}

// Leaves the slot empty until the document is compacted; faces of the
// material are left without one.
TAMSINK_HOST_ENTRY(void, MQDoc_DeleteMaterial)(MQDocument doc, int index) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  if (document == nullptr || !InRange(index, document->materials.size())) return;
  document->materials[index].reset();
  for (const std::unique_ptr<Object>& object : document->objects) {
    if (!object) continue;
    for (Face& face : object->faces) {
      if (face.material == index) face.material = -1;
    }
  }
}

// ---- Document: compaction and selection -------------------------------------

// Removes the empty object and material slots, renumbering the current
// indices, the selection and the faces' materials to match.
TAMSINK_HOST_ENTRY(void, MQDoc_Compact)(MQDocument doc) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  if (document == nullptr) return;
  ++document->compactCount;

  const std::vector<int> objectIndex = RemoveEmptySlots(document->objects);
  document->currentObject = RenumberCurrent(document->currentObject, objectIndex);
  RenumberObjects(document->selectedVertices, objectIndex);
  RenumberObjects(document->selectedFaces, objectIndex);
  RenumberObjects(document->selectedLines, objectIndex);
  RenumberObjects(document->selectedUVVertices, objectIndex);

  const std::vector<int> materialIndex = RemoveEmptySlots(document->materials);
  document->currentMaterial = RenumberCurrent(document->currentMaterial, materialIndex);
  for (const std::unique_ptr<Object>& object : document->objects) {
    for (Face& face : object->faces) {
      if (InRange(face.material, materialIndex.size())) face.material = materialIndex[face.material];
    }
  }
}

TAMSINK_HOST_ENTRY(void, MQDoc_ClearSelect)(MQDocument doc, unsigned int flags) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  if (document == nullptr) return;
  ++document->clearSelectCount;
  document->lastClearSelectFlags = flags;
  if (flags & host::kClearSelectVertex) {
    document->selectedVertices.clear();
    document->selectedUVVertices.clear();
  }
  if (flags & host::kClearSelectLine) document->selectedLines.clear();
  if (flags & host::kClearSelectFace) document->selectedFaces.clear();
}

// The selection calls return TRUE when they name an element of an object of
// the document (Add/Delete: whether or not it was selected already).

TAMSINK_HOST_ENTRY(BOOL, MQDoc_AddSelectVertex)(MQDocument doc, MQObject obj, int vertex) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  const Object* object = ToObject(obj);
  if (!IsSelectable(document, object, vertex, object != nullptr ? object->vertices.size() : 0)) return FALSE;
  document->selectedVertices.insert({IndexOf(document, object), vertex});
  return TRUE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_DeleteSelectVertex)(MQDocument doc, MQObject obj, int vertex) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  const Object* object = ToObject(obj);
  if (!IsSelectable(document, object, vertex, object != nullptr ? object->vertices.size() : 0)) return FALSE;
  document->selectedVertices.erase({IndexOf(document, object), vertex});
  return TRUE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_IsSelectVertex)(MQDocument doc, MQObject obj, int vertex) {
  TAMSINK_HOST_CALL();
  const Document* document = ToDocument(doc);
  const int index = IndexOf(document, ToObject(obj));
  return index >= 0 && document->selectedVertices.count({index, vertex}) != 0 ? TRUE : FALSE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_AddSelectLine)(MQDocument doc, MQObject obj, int face, int line) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  const Face* target = FaceAt(obj, face);
  if (target == nullptr || !IsSelectable(document, ToObject(obj), line, target->points.size())) return FALSE;
  document->selectedLines.insert({IndexOf(document, ToObject(obj)), face, line});
  return TRUE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_DeleteSelectLine)(MQDocument doc, MQObject obj, int face, int line) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  const Face* target = FaceAt(obj, face);
  if (target == nullptr || !IsSelectable(document, ToObject(obj), line, target->points.size())) return FALSE;
  document->selectedLines.erase({IndexOf(document, ToObject(obj)), face, line});
  return TRUE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_IsSelectLine)(MQDocument doc, MQObject obj, int face, int line) {
  TAMSINK_HOST_CALL();
  const Document* document = ToDocument(doc);
  const int index = IndexOf(document, ToObject(obj));
  return index >= 0 && document->selectedLines.count({index, face, line}) != 0 ? TRUE : FALSE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_AddSelectFace)(MQDocument doc, MQObject obj, int face) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  const Object* object = ToObject(obj);
  if (!IsSelectable(document, object, face, object != nullptr ? object->faces.size() : 0)) return FALSE;
  document->selectedFaces.insert({IndexOf(document, object), face});
  return TRUE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_DeleteSelectFace)(MQDocument doc, MQObject obj, int face) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  const Object* object = ToObject(obj);
  if (!IsSelectable(document, object, face, object != nullptr ? object->faces.size() : 0)) return FALSE;
  document->selectedFaces.erase({IndexOf(document, object), face});
  return TRUE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_IsSelectFace)(MQDocument doc, MQObject obj, int face) {
  TAMSINK_HOST_CALL();
  const Document* document = ToDocument(doc);
  const int index = IndexOf(document, ToObject(obj));
  return index >= 0 && document->selectedFaces.count({index, face}) != 0 ? TRUE : FALSE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_AddSelectUVVertex)(MQDocument doc, MQObject obj, int face, int corner) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  const Face* target = FaceAt(obj, face);
  if (target == nullptr || !IsSelectable(document, ToObject(obj), corner, target->points.size())) return FALSE;
  document->selectedUVVertices.insert({IndexOf(document, ToObject(obj)), face, corner});
  return TRUE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_DeleteSelectUVVertex)(MQDocument doc, MQObject obj, int face, int corner) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  const Face* target = FaceAt(obj, face);
  if (target == nullptr || !IsSelectable(document, ToObject(obj), corner, target->points.size())) return FALSE;
  document->selectedUVVertices.erase({IndexOf(document, ToObject(obj)), face, corner});
  return TRUE;
}

TAMSINK_HOST_ENTRY(BOOL, MQDoc_IsSelectUVVertex)(MQDocument doc, MQObject obj, int face, int corner) {
  TAMSINK_HOST_CALL();
  const Document* document = ToDocument(doc);
  const int index = IndexOf(document, ToObject(obj));
  return index >= 0 && document->selectedUVVertices.count({index, face, corner}) != 0 ? TRUE : FALSE;
}

// No mapping search path: no file is ever found.
TAMSINK_HOST_ENTRY(BOOL, MQDoc_FindMappingFile)(MQDocument /*doc*/, char* path, const char* /*fileName*/,
                                                 DWORD /*mapType*/) {
  TAMSINK_HOST_CALL();
  if (path != nullptr) path[0] = '\0';
  return FALSE;
}

// ---- Document: scene ---------------------------------------------------------

TAMSINK_HOST_ENTRY(MQScene, MQDoc_GetScene)(MQDocument doc, int index) {
  TAMSINK_HOST_CALL();
  Document* document = ToDocument(doc);
  if (document == nullptr || index != 0) return nullptr;
  return reinterpret_cast<MQScene>(&document->scene);
}

TAMSINK_HOST_ENTRY(void, MQScene_InitSize)(MQScene scene, int width, int height) {
  TAMSINK_HOST_CALL();
  Scene* target = ToScene(scene);
  if (target == nullptr) return;
  target->width = width;
  target->height = height;
}

TAMSINK_HOST_ENTRY(void, MQScene_GetProjMatrix)(MQScene scene, Matrix4* matrix) {
  TAMSINK_HOST_CALL();
  if (matrix == nullptr) return;
  const Scene* source = ToScene(scene);
  *matrix = source != nullptr ? source->projection : Matrix4{};
}

TAMSINK_HOST_ENTRY(void, MQScene_GetViewMatrix)(MQScene scene, Matrix4* matrix) {
  TAMSINK_HOST_CALL();
  if (matrix == nullptr) return;
  const Scene* source = ToScene(scene);
  *matrix = source != nullptr ? source->view : Matrix4{};
}

// ---- Object: life and identity ----------------------------------------------

TAMSINK_HOST_ENTRY(void, MQObj_Delete)(MQObject obj) {
  TAMSINK_HOST_CALL();
  TakeDetached(g_detachedObjects, ToObject(obj));
}

// A detached copy, for a document to take.
TAMSINK_HOST_ENTRY(MQObject, MQObj_Clone)(MQObject obj) {
  TAMSINK_HOST_CALL();
  const Object* object = ToObject(obj);
  if (object == nullptr) return nullptr;
  g_detachedObjects.push_back(std::make_unique<Object>(*object));
  return ToHandle(g_detachedObjects.back().get());
}

// Appends the source's vertices and faces to the destination.
TAMSINK_HOST_ENTRY(void, MQObj_Merge)(MQObject dest, MQObject source) {
  TAMSINK_HOST_CALL();
  Object* target = ToObject(dest);
  if (target == nullptr || ToObject(source) == nullptr) return;
  const Object added = *ToObject(source);  // a copy, so that an object can merge with itself
  const size_t offset = target->vertices.size();
  for (size_t v = 0; v < added.vertices.size(); ++v) {
    target->vertices.push_back(added.vertices[v]);
    if (v < added.vertexColors.size()) SetColorAt(target->vertexColors, target->vertices.size(), offset + v, added.vertexColors[v]);
    if (v < added.vertexWeights.size()) SetWeightAt(*target, offset + v, added.vertexWeights[v]);
  }
  for (Face face : added.faces) {
    for (int& point : face.points) point += static_cast<int>(offset);
    target->faces.push_back(std::move(face));
  }
}

// Mirrors, lathes and patches are attributes the stand-in does not realise,
// so there is nothing to freeze.
TAMSINK_HOST_ENTRY(void, MQObj_Freeze)(MQObject /*obj*/, DWORD /*flags*/) { TAMSINK_HOST_CALL(); }

TAMSINK_HOST_ENTRY(void, MQObj_GetName)(MQObject obj, char* buffer, int size) {
  TAMSINK_HOST_CALL();
  const Object* object = ToObject(obj);
  CopyText(object != nullptr ? object->name : std::string(), buffer, size);
}

// ---- Object: vertices and faces read by the plug-in -------------------------

TAMSINK_HOST_ENTRY(int, MQObj_GetVertexCount)(MQObject obj) {
  TAMSINK_HOST_CALL();
  const Object* object = ToObject(obj);
  return object != nullptr ? Count(object->vertices.size()) : 0;
}

TAMSINK_HOST_ENTRY(void, MQObj_GetVertex)(MQObject obj, int vertex, Vec3* position) {
  TAMSINK_HOST_CALL();
  if (position == nullptr) return;
  const Object* object = ToObject(obj);
  *position = HasVertex(object, vertex) ? object->vertices[vertex] : Vec3{0.0f, 0.0f, 0.0f};
}

TAMSINK_HOST_ENTRY(void, MQObj_SetVertex)(MQObject obj, int vertex, const Vec3* position) {
  TAMSINK_HOST_CALL();
  Object* object = ToObject(obj);
  if (position != nullptr && HasVertex(object, vertex)) object->vertices[vertex] = *position;
}

// Fills one position per vertex of the object.
TAMSINK_HOST_ENTRY(void, MQObj_GetVertexArray)(MQObject obj, Vec3* positions) {
  TAMSINK_HOST_CALL();
  const Object* object = ToObject(obj);
  if (object != nullptr && positions != nullptr) std::copy(object->vertices.begin(), object->vertices.end(), positions);
}

TAMSINK_HOST_ENTRY(int, MQObj_GetFaceCount)(MQObject obj) {
  TAMSINK_HOST_CALL();
  const Object* object = ToObject(obj);
  return object != nullptr ? Count(object->faces.size()) : 0;
}

TAMSINK_HOST_ENTRY(int, MQObj_GetFacePointCount)(MQObject obj, int face) {
  TAMSINK_HOST_CALL();
  const Face* target = FaceAt(obj, face);
  return target != nullptr ? Count(target->points.size()) : 0;
}

// Fills one vertex index per point; a face out of range has no points.
TAMSINK_HOST_ENTRY(void, MQObj_GetFacePointArray)(MQObject obj, int face, int* vertices) {
  TAMSINK_HOST_CALL();
  const Face* target = FaceAt(obj, face);
  if (target != nullptr && vertices != nullptr) std::copy(target->points.begin(), target->points.end(), vertices);
}

// Fills one (u, v) per point, (0, 0) for a corner the face has no UV for.
TAMSINK_HOST_ENTRY(void, MQObj_GetFaceCoordinateArray)(MQObject obj, int face, Vec2* uvs) {
  TAMSINK_HOST_CALL();
  const Face* target = FaceAt(obj, face);
  if (target == nullptr || uvs == nullptr) return;
  for (size_t corner = 0; corner < target->points.size(); ++corner) uvs[corner] = UvAt(*target, corner);
}

TAMSINK_HOST_ENTRY(int, MQObj_GetFaceMaterial)(MQObject obj, int face) {
  TAMSINK_HOST_CALL();
  const Face* target = FaceAt(obj, face);
  return target != nullptr ? target->material : -1;
}

// ---- Object: editing ----------------------------------------------------------

TAMSINK_HOST_ENTRY(void, MQObj_SetName)(MQObject obj, const char* name) {
  TAMSINK_HOST_CALL();
  Object* object = ToObject(obj);
  if (object != nullptr) object->name = TextOrEmpty(name);
}

// Returns the new vertex's index; a null position adds the origin.
TAMSINK_HOST_ENTRY(int, MQObj_AddVertex)(MQObject obj, const Vec3* position) {
  TAMSINK_HOST_CALL();
  Object* object = ToObject(obj);
  if (object == nullptr) return -1;
  object->vertices.push_back(position != nullptr ? *position : Vec3{0.0f, 0.0f, 0.0f});
  return Count(object->vertices.size() - 1);
}

// Removes the vertex together with the faces that use it; later vertices move
// down by one.
TAMSINK_HOST_ENTRY(BOOL, MQObj_DeleteVertex)(MQObject obj, int vertex) {
  TAMSINK_HOST_CALL();
  Object* object = ToObject(obj);
  if (!HasVertex(object, vertex)) return FALSE;
  std::vector<Face>& faces = object->faces;
  faces.erase(std::remove_if(faces.begin(), faces.end(),
                             [vertex](const Face& face) {
                               return std::find(face.points.begin(), face.points.end(), vertex) != face.points.end();
                             }),
              faces.end());
  for (Face& face : faces) {
    for (int& point : face.points) {
      if (point > vertex) --point;
    }
  }
  object->vertices.erase(object->vertices.begin() + vertex);
  if (static_cast<size_t>(vertex) < object->vertexColors.size()) object->vertexColors.erase(object->vertexColors.begin() + vertex);
  if (static_cast<size_t>(vertex) < object->vertexWeights.size()) object->vertexWeights.erase(object->vertexWeights.begin() + vertex);
  return TRUE;
}

// The number of face corners that use the vertex.
TAMSINK_HOST_ENTRY(int, MQObj_GetVertexRefCount)(MQObject obj, int vertex) {
  TAMSINK_HOST_CALL();
  const Object* object = ToObject(obj);
  if (!HasVertex(object, vertex)) return 0;
  size_t count = 0;
  for (const Face& face : object->faces) count += std::count(face.points.begin(), face.points.end(), vertex);
  return Count(count);
}

TAMSINK_HOST_ENTRY(DWORD, MQObj_GetVertexColor)(MQObject obj, int vertex) {
  TAMSINK_HOST_CALL();
  const Object* object = ToObject(obj);
  return HasVertex(object, vertex) ? ColorAt(object->vertexColors, vertex) : 0;
}

TAMSINK_HOST_ENTRY(void, MQObj_SetVertexColor)(MQObject obj, int vertex, DWORD color) {
  TAMSINK_HOST_CALL();
  Object* object = ToObject(obj);
  if (HasVertex(object, vertex)) SetColorAt(object->vertexColors, object->vertices.size(), vertex, color);
}

TAMSINK_HOST_ENTRY(float, MQObj_GetVertexWeight)(MQObject obj, int vertex) {
  TAMSINK_HOST_CALL();
  const Object* object = ToObject(obj);
  return HasVertex(object, vertex) ? WeightAt(*object, vertex) : 0.0f;
}

TAMSINK_HOST_ENTRY(void, MQObj_SetVertexWeight)(MQObject obj, int vertex, float weight) {
  TAMSINK_HOST_CALL();
  Object* object = ToObject(obj);
  if (HasVertex(object, vertex)) SetWeightAt(*object, vertex, weight);
}

// Copies colour and weight of `sourceVertex` of `source` onto `vertex`.
TAMSINK_HOST_ENTRY(void, MQObj_CopyVertexAttribute)(MQObject obj, int vertex, MQObject source, int sourceVertex) {
  TAMSINK_HOST_CALL();
  Object* target = ToObject(obj);
  const Object* from = ToObject(source);
  if (!HasVertex(target, vertex) || !HasVertex(from, sourceVertex)) return;
  const uint32_t color = ColorAt(from->vertexColors, sourceVertex);
  const float weight = WeightAt(*from, sourceVertex);
  SetColorAt(target->vertexColors, target->vertices.size(), vertex, color);
  SetWeightAt(*target, vertex, weight);
}

// Adds a face of `count` points; returns its index, -1 when a point names no
// vertex of the object.
TAMSINK_HOST_ENTRY(int, MQObj_AddFace)(MQObject obj, int count, const int* points) {
  TAMSINK_HOST_CALL();
  Object* object = ToObject(obj);
  if (object == nullptr || count <= 0 || points == nullptr) return -1;
  Face face;
  face.points.assign(points, points + count);
  for (int point : face.points) {
    if (!HasVertex(object, point)) return -1;
  }
  object->faces.push_back(std::move(face));
  return Count(object->faces.size() - 1);
}

TAMSINK_HOST_ENTRY(BOOL, MQObj_DeleteFace)(MQObject obj, int face) {
  TAMSINK_HOST_CALL();
  Object* object = ToObject(obj);
  if (FaceAt(obj, face) == nullptr) return FALSE;
  object->faces.erase(object->faces.begin() + face);
  return TRUE;
}

// Reverses the corner order, and with it the corners' UVs and colours.
TAMSINK_HOST_ENTRY(BOOL, MQObj_InvertFace)(MQObject obj, int face) {
  TAMSINK_HOST_CALL();
  Face* target = FaceAt(obj, face);
  if (target == nullptr) return FALSE;
  const size_t corners = target->points.size();
  if (target->uvs.size() < corners) target->uvs.resize(corners, Vec2{0.0f, 0.0f});
  if (target->colors.size() < corners) target->colors.resize(corners, host::kWhite);
  std::reverse(target->points.begin(), target->points.end());
  std::reverse(target->uvs.begin(), target->uvs.begin() + corners);
  std::reverse(target->colors.begin(), target->colors.begin() + corners);
  return TRUE;
}

TAMSINK_HOST_ENTRY(void, MQObj_SetFaceMaterial)(MQObject obj, int face, int material) {
  TAMSINK_HOST_CALL();
  Face* target = FaceAt(obj, face);
  if (target != nullptr) target->material = material;
}

// Takes one (u, v) per point of the face.
TAMSINK_HOST_ENTRY(void, MQObj_SetFaceCoordinateArray)(MQObject obj, int face, const Vec2* uvs) {
  TAMSINK_HOST_CALL();
  Face* target = FaceAt(obj, face);
  if (target != nullptr && uvs != nullptr) target->uvs.assign(uvs, uvs + target->points.size());
}

TAMSINK_HOST_ENTRY(DWORD, MQObj_GetFaceVertexColor)(MQObject obj, int face, int corner) {
  TAMSINK_HOST_CALL();
  const Face* target = FaceAt(obj, face);
  return target != nullptr && InRange(corner, target->points.size()) ? ColorAt(target->colors, corner) : 0;
}

TAMSINK_HOST_ENTRY(void, MQObj_SetFaceVertexColor)(MQObject obj, int face, int corner, DWORD color) {
  TAMSINK_HOST_CALL();
  Face* target = FaceAt(obj, face);
  if (target != nullptr && InRange(corner, target->points.size())) SetColorAt(target->colors, target->points.size(), corner, color);
}

// Merging nearby vertices is left to the real host; nothing is merged.
TAMSINK_HOST_ENTRY(int, MQObj_OptimizeVertex)(MQObject /*obj*/, float /*distance*/, void* /*reserved*/) {
  TAMSINK_HOST_CALL();
  return 0;
}

// Removes the vertices no face uses, renumbering the faces' points.
TAMSINK_HOST_ENTRY(void, MQObj_Compact)(MQObject obj) {
  TAMSINK_HOST_CALL();
  Object* object = ToObject(obj);
  if (object == nullptr) return;
  const size_t count = object->vertices.size();
  std::vector<bool> used(count, false);
  for (const Face& face : object->faces) {
    for (int point : face.points) {
      if (InRange(point, count)) used[point] = true;
    }
  }
  std::vector<int> newIndex(count, -1);
  std::vector<Vec3> vertices;
  std::vector<uint32_t> colors;
  std::vector<float> weights;
  for (size_t v = 0; v < count; ++v) {
    if (!used[v]) continue;
    newIndex[v] = Count(vertices.size());
    vertices.push_back(object->vertices[v]);
    colors.push_back(ColorAt(object->vertexColors, v));
    weights.push_back(WeightAt(*object, v));
  }
  for (Face& face : object->faces) {
    for (int& point : face.points) {
      if (InRange(point, count)) point = newIndex[point];
    }
  }
  object->vertices = std::move(vertices);
  object->vertexColors = std::move(colors);
  object->vertexWeights = std::move(weights);
}

// ---- Object: attributes --------------------------------------------------------

// Nonzero (1) when visible.
TAMSINK_HOST_ENTRY(int, MQObj_GetVisible)(MQObject obj) {
  TAMSINK_HOST_CALL();
  const Object* object = ToObject(obj);
  return object != nullptr && object->visible ? 1 : 0;
}

TAMSINK_HOST_ENTRY(void, MQObj_SetVisible)(MQObject obj, DWORD visible) {
  TAMSINK_HOST_CALL();
  Object* object = ToObject(obj);
  if (object != nullptr) object->visible = visible != 0;
}

// Getter and setter of one stored attribute of an object.
#define TAMSINK_HOST_OBJECT_ATTRIBUTE(type, field, getter, setter) \
  TAMSINK_HOST_ENTRY(type, getter)(MQObject obj) {                  \
    TAMSINK_HOST_CALL();                                            \
    const Object* object = ToObject(obj);                           \
    return object != nullptr ? object->field : type{};              \
  }                                                                 \
  TAMSINK_HOST_ENTRY(void, setter)(MQObject obj, type value) {      \
    TAMSINK_HOST_CALL();                                            \
    Object* object = ToObject(obj);                                 \
    if (object != nullptr) object->field = value;                   \
  }

TAMSINK_HOST_OBJECT_ATTRIBUTE(int, patchType, MQObj_GetPatchType, MQObj_SetPatchType)
TAMSINK_HOST_OBJECT_ATTRIBUTE(int, patchSegment, MQObj_GetPatchSegment, MQObj_SetPatchSegment)
TAMSINK_HOST_OBJECT_ATTRIBUTE(int, shading, MQObj_GetShading, MQObj_SetShading)
TAMSINK_HOST_OBJECT_ATTRIBUTE(float, smoothAngle, MQObj_GetSmoothAngle, MQObj_SetSmoothAngle)
TAMSINK_HOST_OBJECT_ATTRIBUTE(int, mirrorType, MQObj_GetMirrorType, MQObj_SetMirrorType)
TAMSINK_HOST_OBJECT_ATTRIBUTE(DWORD, mirrorAxis, MQObj_GetMirrorAxis, MQObj_SetMirrorAxis)
TAMSINK_HOST_OBJECT_ATTRIBUTE(float, mirrorDistance, MQObj_GetMirrorDistance, MQObj_SetMirrorDistance)
TAMSINK_HOST_OBJECT_ATTRIBUTE(int, latheType, MQObj_GetLatheType, MQObj_SetLatheType)
TAMSINK_HOST_OBJECT_ATTRIBUTE(int, latheAxis, MQObj_GetLatheAxis, MQObj_SetLatheAxis)
TAMSINK_HOST_OBJECT_ATTRIBUTE(int, latheSegment, MQObj_GetLatheSegment, MQObj_SetLatheSegment)

#undef TAMSINK_HOST_OBJECT_ATTRIBUTE

// ---- Material ---------------------------------------------------------------------

TAMSINK_HOST_ENTRY(void, MQMat_Delete)(MQMaterial mat) {
  TAMSINK_HOST_CALL();
  TakeDetached(g_detachedMaterials, ToMaterial(mat));
}

// A value of the given type; 0 for a type never set.
TAMSINK_HOST_ENTRY(int, MQMat_GetIntValue)(MQMaterial mat, int type) {
  TAMSINK_HOST_CALL();
  const Material* material = ToMaterial(mat);
  if (material == nullptr) return 0;
  const auto found = material->intValues.find(type);
  return found != material->intValues.end() ? found->second : 0;
}

// Fills four floats of the given type; zeros for a type never set.
TAMSINK_HOST_ENTRY(void, MQMat_GetFloatArray)(MQMaterial mat, int type, float* values) {
  TAMSINK_HOST_CALL();
  if (values == nullptr) return;
  std::array<float, 4> found{};
  const Material* material = ToMaterial(mat);
  if (material != nullptr) {
    const auto entry = material->floatArrays.find(type);
    if (entry != material->floatArrays.end()) found = entry->second;
  }
  std::copy(found.begin(), found.end(), values);
}

TAMSINK_HOST_ENTRY(void, MQMat_GetName)(MQMaterial mat, char* buffer, int size) {
  TAMSINK_HOST_CALL();
  const Material* material = ToMaterial(mat);
  CopyText(material != nullptr ? material->name : std::string(), buffer, size);
}

TAMSINK_HOST_ENTRY(void, MQMat_GetColor)(MQMaterial mat, Vec3* color) {
  TAMSINK_HOST_CALL();
  if (color == nullptr) return;
  const Material* material = ToMaterial(mat);
  *color = material != nullptr ? material->color : Vec3{0.0f, 0.0f, 0.0f};
}

// Getter of one stored float or name of a material.
#define TAMSINK_HOST_MATERIAL_FLOAT_GETTER(field, getter)  \
  TAMSINK_HOST_ENTRY(float, getter)(MQMaterial mat) {      \
    TAMSINK_HOST_CALL();                                   \
    const Material* material = ToMaterial(mat);            \
    return material != nullptr ? material->field : 0.0f;   \
  }
#define TAMSINK_HOST_MATERIAL_NAME_GETTER(field, getter)                                 \
  TAMSINK_HOST_ENTRY(void, getter)(MQMaterial mat, char* buffer, int size) {             \
    TAMSINK_HOST_CALL();                                                                 \
    const Material* material = ToMaterial(mat);                                          \
    CopyText(material != nullptr ? material->field : std::string(), buffer, size);       \
  }

TAMSINK_HOST_MATERIAL_FLOAT_GETTER(alpha, MQMat_GetAlpha)
TAMSINK_HOST_MATERIAL_FLOAT_GETTER(diffuse, MQMat_GetDiffuse)
TAMSINK_HOST_MATERIAL_FLOAT_GETTER(ambient, MQMat_GetAmbient)
TAMSINK_HOST_MATERIAL_FLOAT_GETTER(emission, MQMat_GetEmission)
TAMSINK_HOST_MATERIAL_FLOAT_GETTER(specular, MQMat_GetSpecular)
TAMSINK_HOST_MATERIAL_FLOAT_GETTER(power, MQMat_GetPower)
TAMSINK_HOST_MATERIAL_NAME_GETTER(textureName, MQMat_GetTextureName)
TAMSINK_HOST_MATERIAL_NAME_GETTER(alphaName, MQMat_GetAlphaName)
TAMSINK_HOST_MATERIAL_NAME_GETTER(bumpName, MQMat_GetBumpName)

TAMSINK_HOST_ENTRY(void, MQMat_SetIntValue)(MQMaterial mat, int type, int value) {
  TAMSINK_HOST_CALL();
  Material* material = ToMaterial(mat);
  if (material != nullptr) material->intValues[type] = value;
}

// Takes four floats of the given type.
TAMSINK_HOST_ENTRY(void, MQMat_SetFloatArray)(MQMaterial mat, int type, const float* values) {
  TAMSINK_HOST_CALL();
  Material* material = ToMaterial(mat);
  if (material == nullptr || values == nullptr) return;
  std::array<float, 4>& target = material->floatArrays[type];
  std::copy(values, values + target.size(), target.begin());
}

TAMSINK_HOST_ENTRY(void, MQMat_SetName)(MQMaterial mat, const char* name) {
  TAMSINK_HOST_CALL();
  Material* material = ToMaterial(mat);
  if (material != nullptr) material->name = TextOrEmpty(name);
}

TAMSINK_HOST_ENTRY(void, MQMat_SetColor)(MQMaterial mat, const Vec3* color) {
  TAMSINK_HOST_CALL();
  Material* material = ToMaterial(mat);
  if (material != nullptr && color != nullptr) material->color = *color;
}

// Setter of one stored float or name of a material.
#define TAMSINK_HOST_MATERIAL_FLOAT_SETTER(field, setter)       \
  TAMSINK_HOST_ENTRY(void, setter)(MQMaterial mat, float value) { \
    TAMSINK_HOST_CALL();                                          \
    Material* material = ToMaterial(mat);                         \
    if (material != nullptr) material->field = value;             \
  }
#define TAMSINK_HOST_MATERIAL_NAME_SETTER(field, setter)               \
  TAMSINK_HOST_ENTRY(void, setter)(MQMaterial mat, const char* name) { \
    TAMSINK_HOST_CALL();                                               \
    Material* material = ToMaterial(mat);                              \
    if (material != nullptr) material->field = TextOrEmpty(name);      \
  }

TAMSINK_HOST_MATERIAL_FLOAT_SETTER(alpha, MQMat_SetAlpha)
TAMSINK_HOST_MATERIAL_FLOAT_SETTER(diffuse, MQMat_SetDiffuse)
TAMSINK_HOST_MATERIAL_FLOAT_SETTER(ambient, MQMat_SetAmbient)
TAMSINK_HOST_MATERIAL_FLOAT_SETTER(emission, MQMat_SetEmission)
TAMSINK_HOST_MATERIAL_FLOAT_SETTER(specular, MQMat_SetSpecular)
TAMSINK_HOST_MATERIAL_FLOAT_SETTER(power, MQMat_SetPower)
TAMSINK_HOST_MATERIAL_NAME_SETTER(textureName, MQMat_SetTextureName)
TAMSINK_HOST_MATERIAL_NAME_SETTER(alphaName, MQMat_SetAlphaName)
TAMSINK_HOST_MATERIAL_NAME_SETTER(bumpName, MQMat_SetBumpName)

#undef TAMSINK_HOST_MATERIAL_FLOAT_GETTER
#undef TAMSINK_HOST_MATERIAL_NAME_GETTER
#undef TAMSINK_HOST_MATERIAL_FLOAT_SETTER
#undef TAMSINK_HOST_MATERIAL_NAME_SETTER

// ---- Checks against the plug-in's view of the host ---------------------------------

// Every name of the binding list is defined here, and the ones the plug-in
// calls have exactly the signature it calls them with.
#define TAMSINK_HOST_CHECK_TYPED(name, result, params)                        \
  static_assert(std::is_same<decltype(&name), name##_Proc>::value, #name " does not match " #name "_Proc");
#define TAMSINK_HOST_CHECK_UNTYPED(name) static_assert(sizeof(&name) == sizeof(HostProc), #name " is missing");
TAMSINK_HOST_ENTRY_POINTS(TAMSINK_HOST_CHECK_TYPED, TAMSINK_HOST_CHECK_UNTYPED)
#undef TAMSINK_HOST_CHECK_TYPED
#undef TAMSINK_HOST_CHECK_UNTYPED
