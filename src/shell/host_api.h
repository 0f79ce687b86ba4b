// The host modeller's entry points, bound by name when the host calls MQInit.
// Documents and objects are opaque handles that are only passed back to the
// host. The fourteen entry points the plug-in calls carry their real
// signatures; the rest are bound only so that the binding is complete, and are
// held as a generic procedure pointer.
#pragma once

#include "math/vecmath.h"
#include "win32.h"

typedef struct MQDocumentHandle* MQDocument;
typedef struct MQObjectHandle* MQObject;

// The host's calling convention (only distinct on 32-bit Windows).
#if defined(_WIN32) && !defined(_WIN64)
#define MQAPI __stdcall
#else
#define MQAPI
#endif

typedef void(MQAPI* HostProc)();

// Every host entry point in binding order. TYPED(name, result, parameters) for
// the ones the plug-in calls, UNTYPED(name) for the rest.
#define TAMSINK_HOST_ENTRY_POINTS(TYPED, UNTYPED) \
  TYPED(MQ_GetWindowHandle, HWND, (void)) \
  UNTYPED(MQ_CreateObject) \
  UNTYPED(MQ_CreateMaterial) \
  UNTYPED(MQ_ShowFileDialog) \
  UNTYPED(MQ_ImportAxis) \
  UNTYPED(MQ_ExportAxis) \
  UNTYPED(MQ_LoadImage) \
  UNTYPED(MQ_GetSystemPath) \
  TYPED(MQ_RefreshView, void, (void* reserved)) \
  TYPED(MQDoc_GetObjectCount, int, (MQDocument doc)) \
  TYPED(MQDoc_GetObject, MQObject, (MQDocument doc, int index)) \
  TYPED(MQDoc_GetCurrentObjectIndex, int, (MQDocument doc)) \
  UNTYPED(MQDoc_SetCurrentObjectIndex) \
  UNTYPED(MQDoc_AddObject) \
  UNTYPED(MQDoc_DeleteObject) \
  UNTYPED(MQDoc_GetObjectIndex) \
  UNTYPED(MQDoc_GetMaterialCount) \
  UNTYPED(MQDoc_GetMaterial) \
  UNTYPED(MQDoc_GetCurrentMaterialIndex) \
  UNTYPED(MQDoc_SetCurrentMaterialIndex) \
  UNTYPED(MQDoc_AddMaterial) \
  UNTYPED(MQDoc_DeleteMaterial) \
  TYPED(MQDoc_Compact, void, (MQDocument doc)) \
  TYPED(MQDoc_ClearSelect, void, (MQDocument doc, unsigned int flags)) \
  UNTYPED(MQDoc_AddSelectVertex) \
  UNTYPED(MQDoc_DeleteSelectVertex) \
  UNTYPED(MQDoc_IsSelectVertex) \
  UNTYPED(MQDoc_AddSelectLine) \
  UNTYPED(MQDoc_DeleteSelectLine) \
  UNTYPED(MQDoc_IsSelectLine) \
  UNTYPED(MQDoc_AddSelectFace) \
  UNTYPED(MQDoc_DeleteSelectFace) \
  UNTYPED(MQDoc_IsSelectFace) \
  UNTYPED(MQDoc_AddSelectUVVertex) \
  UNTYPED(MQDoc_DeleteSelectUVVertex) \
  UNTYPED(MQDoc_IsSelectUVVertex) \
  UNTYPED(MQDoc_FindMappingFile) \
  UNTYPED(MQDoc_GetScene) \
  UNTYPED(MQScene_InitSize) \
  UNTYPED(MQScene_GetProjMatrix) \
  UNTYPED(MQScene_GetViewMatrix) \
  UNTYPED(MQObj_Delete) \
  UNTYPED(MQObj_Clone) \
  UNTYPED(MQObj_Merge) \
  UNTYPED(MQObj_Freeze) \
  UNTYPED(MQObj_GetName) \
  TYPED(MQObj_GetVertexCount, int, (MQObject obj)) \
  TYPED(MQObj_GetVertex, void, (MQObject obj, int vertex, Vec3* position)) \
  UNTYPED(MQObj_SetVertex) \
  UNTYPED(MQObj_GetVertexArray) \
  TYPED(MQObj_GetFaceCount, int, (MQObject obj)) \
  TYPED(MQObj_GetFacePointCount, int, (MQObject obj, int face)) \
  TYPED(MQObj_GetFacePointArray, void, (MQObject obj, int face, int* vertices)) \
  TYPED(MQObj_GetFaceCoordinateArray, void, (MQObject obj, int face, Vec2* uvs)) \
  UNTYPED(MQObj_GetFaceMaterial) \
  UNTYPED(MQObj_SetName) \
  UNTYPED(MQObj_AddVertex) \
  UNTYPED(MQObj_DeleteVertex) \
  UNTYPED(MQObj_GetVertexRefCount) \
  UNTYPED(MQObj_GetVertexColor) \
  UNTYPED(MQObj_SetVertexColor) \
  UNTYPED(MQObj_GetVertexWeight) \
  UNTYPED(MQObj_SetVertexWeight) \
  UNTYPED(MQObj_CopyVertexAttribute) \
  UNTYPED(MQObj_AddFace) \
  UNTYPED(MQObj_DeleteFace) \
  UNTYPED(MQObj_InvertFace) \
  UNTYPED(MQObj_SetFaceMaterial) \
  UNTYPED(MQObj_SetFaceCoordinateArray) \
  UNTYPED(MQObj_GetFaceVertexColor) \
  UNTYPED(MQObj_SetFaceVertexColor) \
  UNTYPED(MQObj_OptimizeVertex) \
  UNTYPED(MQObj_Compact) \
  TYPED(MQObj_GetVisible, int, (MQObject obj)) \
  UNTYPED(MQObj_SetVisible) \
  UNTYPED(MQObj_GetPatchType) \
  UNTYPED(MQObj_SetPatchType) \
  UNTYPED(MQObj_GetPatchSegment) \
  UNTYPED(MQObj_SetPatchSegment) \
  UNTYPED(MQObj_GetShading) \
  UNTYPED(MQObj_SetShading) \
  UNTYPED(MQObj_GetSmoothAngle) \
  UNTYPED(MQObj_SetSmoothAngle) \
  UNTYPED(MQObj_GetMirrorType) \
  UNTYPED(MQObj_SetMirrorType) \
  UNTYPED(MQObj_GetMirrorAxis) \
  UNTYPED(MQObj_SetMirrorAxis) \
  UNTYPED(MQObj_GetMirrorDistance) \
  UNTYPED(MQObj_SetMirrorDistance) \
  UNTYPED(MQObj_GetLatheType) \
  UNTYPED(MQObj_SetLatheType) \
  UNTYPED(MQObj_GetLatheAxis) \
  UNTYPED(MQObj_SetLatheAxis) \
  UNTYPED(MQObj_GetLatheSegment) \
  UNTYPED(MQObj_SetLatheSegment) \
  UNTYPED(MQMat_Delete) \
  UNTYPED(MQMat_GetIntValue) \
  UNTYPED(MQMat_GetFloatArray) \
  UNTYPED(MQMat_GetName) \
  UNTYPED(MQMat_GetColor) \
  UNTYPED(MQMat_GetAlpha) \
  UNTYPED(MQMat_GetDiffuse) \
  UNTYPED(MQMat_GetAmbient) \
  UNTYPED(MQMat_GetEmission) \
  UNTYPED(MQMat_GetSpecular) \
  UNTYPED(MQMat_GetPower) \
  UNTYPED(MQMat_GetTextureName) \
  UNTYPED(MQMat_GetAlphaName) \
  UNTYPED(MQMat_GetBumpName) \
  UNTYPED(MQMat_SetIntValue) \
  UNTYPED(MQMat_SetFloatArray) \
  UNTYPED(MQMat_SetName) \
  UNTYPED(MQMat_SetColor) \
  UNTYPED(MQMat_SetAlpha) \
  UNTYPED(MQMat_SetDiffuse) \
  UNTYPED(MQMat_SetAmbient) \
  UNTYPED(MQMat_SetEmission) \
  UNTYPED(MQMat_SetSpecular) \
  UNTYPED(MQMat_SetPower) \
  UNTYPED(MQMat_SetTextureName) \
  UNTYPED(MQMat_SetAlphaName) \
  UNTYPED(MQMat_SetBumpName)

#define TAMSINK_HOST_TYPEDEF(name, result, params) typedef result(MQAPI* name##_Proc) params;
#define TAMSINK_HOST_NO_TYPEDEF(name)
TAMSINK_HOST_ENTRY_POINTS(TAMSINK_HOST_TYPEDEF, TAMSINK_HOST_NO_TYPEDEF)
#undef TAMSINK_HOST_TYPEDEF
#undef TAMSINK_HOST_NO_TYPEDEF

struct HostApi {
#define TAMSINK_HOST_TYPED_MEMBER(name, result, params) name##_Proc name;
#define TAMSINK_HOST_UNTYPED_MEMBER(name) HostProc name;
  TAMSINK_HOST_ENTRY_POINTS(TAMSINK_HOST_TYPED_MEMBER, TAMSINK_HOST_UNTYPED_MEMBER)
#undef TAMSINK_HOST_TYPED_MEMBER
#undef TAMSINK_HOST_UNTYPED_MEMBER
};

constexpr int kHostEntryPointCount = 122;

// Binds every entry point of the host module at `path` into `api`, in list
// order. Returns 1 when all were found, 0 when the module cannot be loaded or
// a name is missing (the failed member is null, later ones keep their values).
// The module's reference count is the same after the call as before.
int BindHostApi(HostApi& api, const char* path);

// The entry-point names in binding order.
extern const char* const kHostEntryPointNames[kHostEntryPointCount];
