#include "mesh/face_records.h"

#include <cmath>
#include <cstddef>
#include <new>

#include "shell/plugin_state.h"

namespace {

const Vec3 kZero = {0.0f, 0.0f, 0.0f};

bool InRange(int32_t vertex, int32_t vertexCount) { return vertex >= 0 && vertex < vertexCount; }

// Corners that a valid record defines: a triangle has three, every other
// valid face keeps its first four.
int32_t DefinedCorners(const FaceRecord& record) { return record.pointCount == 3 ? 3 : 4; }

// The host fills one entry per point of a face, so faces with more than four
// points need buffers of their full point count. Small faces use the inline
// storage; a larger face grows a heap buffer that later faces reuse.
struct PointBuffers {
  static constexpr int32_t kInline = 16;
  int inlinePoints[kInline];
  Vec2 inlineUVs[kInline];
  int* points = inlinePoints;
  Vec2* uvs = inlineUVs;
  int32_t capacity = kInline;

  PointBuffers() = default;
  PointBuffers(const PointBuffers&) = delete;
  PointBuffers& operator=(const PointBuffers&) = delete;
  ~PointBuffers() { Release(); }

  void Release() {
    if (points != inlinePoints) delete[] points;
    if (uvs != inlineUVs) delete[] uvs;
    points = inlinePoints;
    uvs = inlineUVs;
    capacity = kInline;
  }
};

// Makes room for `count` points; false when the memory cannot be had, with
// the buffers left as they were.
bool Reserve(PointBuffers& buffers, int32_t count) {
  if (count <= buffers.capacity) return true;
  int32_t grown = buffers.capacity;
  while (grown < count) grown = grown > kMaxFacePoints / 2 ? kMaxFacePoints : grown * 2;
  int* points = new (std::nothrow) int[static_cast<size_t>(grown)];
  Vec2* uvs = new (std::nothrow) Vec2[static_cast<size_t>(grown)];
  if (points == nullptr || uvs == nullptr) {
    delete[] points;
    delete[] uvs;
    return false;
  }
  buffers.Release();
  buffers.points = points;
  buffers.uvs = uvs;
  buffers.capacity = grown;
  return true;
}

bool HostCanGather(const HostApi& host) {
  return host.MQDoc_GetCurrentObjectIndex != nullptr && host.MQDoc_GetObject != nullptr &&
         host.MQObj_GetFaceCount != nullptr && host.MQObj_GetVertexCount != nullptr &&
         host.MQObj_GetFacePointCount != nullptr && host.MQObj_GetFacePointArray != nullptr &&
         host.MQObj_GetFaceCoordinateArray != nullptr && host.MQObj_GetVertex != nullptr;
}

// Reads face `face` into `record` (which starts zeroed): its point count,
// and for a face of three or more points its first corners and face normal.
// The host is asked for nothing else of a face below three points.
void ReadFace(const HostApi& host, MQObject object, int32_t face, int32_t vertexCount,
              PointBuffers& buffers, FaceRecord& record) {
  record.faceIndex = face;
  record.valid = 0;
  record.pointCount = host.MQObj_GetFacePointCount(object, face);
  if (record.pointCount < 3) return;
  if (record.pointCount > kMaxFacePoints || !Reserve(buffers, record.pointCount)) return;
  record.valid = 1;

  const int32_t corners = record.pointCount < 4 ? record.pointCount : 4;
  // Entries the host might leave unwritten read as an invalid vertex and a
  // zero UV rather than as the previous face's.
  for (int32_t k = 0; k < corners; ++k) {
    buffers.points[k] = -1;
    buffers.uvs[k] = Vec2{0.0f, 0.0f};
  }
  host.MQObj_GetFacePointArray(object, face, buffers.points);
  for (int32_t k = 0; k < corners; ++k) record.cornerVertices[k] = buffers.points[k];
  host.MQObj_GetFaceCoordinateArray(object, face, buffers.uvs);
  for (int32_t k = 0; k < corners; ++k) record.cornerUVs[k] = buffers.uvs[k];

  for (int32_t k = 0; k < corners; ++k) {
    // A vertex the object does not have is never asked for: the host's
    // contract gives no answer for it.
    if (InRange(record.cornerVertices[k], vertexCount)) {
      Vec3 position = kZero;
      host.MQObj_GetVertex(object, record.cornerVertices[k], &position);
      record.cornerPositions[k] = position;
    } else {
      record.cornerPositions[k] = kZero;
    }
  }

  const Vec3* p = record.cornerPositions;
  record.faceNormal =
      record.pointCount == 3 ? TriangleNormal(p[0], p[1], p[2]) : QuadNormal(p[0], p[1], p[2], p[3]);
}

}  // namespace

void ReleaseFaceRecords() {
  delete[] g_plugin.faceRecords;
  g_plugin.faceRecords = nullptr;
  g_plugin.faceCount = 0;
  delete[] g_plugin.vertexNormals;
  g_plugin.vertexNormals = nullptr;
  g_plugin.vertexCount = 0;
}


Vec3 TriangleNormal(const Vec3& p0, const Vec3& p1, const Vec3& p2) {
  // Edges and the cross product are local vectors, so each is stored as float.
  const Vec3 e1 = {RoundToFloat(double(p0.x) - p1.x), RoundToFloat(double(p0.y) - p1.y),
                   RoundToFloat(double(p0.z) - p1.z)};
  const Vec3 e2 = {RoundToFloat(double(p1.x) - p2.x), RoundToFloat(double(p1.y) - p2.y),
                   RoundToFloat(double(p1.z) - p2.z)};
  const Vec3 n = {RoundToFloat(double(e2.y) * e1.z - double(e2.z) * e1.y),
                  RoundToFloat(double(e2.z) * e1.x - double(e2.x) * e1.z),
                  RoundToFloat(double(e2.x) * e1.y - double(e2.y) * e1.x)};
  if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f) return kZero;
  const double length = std::sqrt(SquaredLength(n));
  return Vec3{RoundToFloat(n.x / length), RoundToFloat(n.y / length), RoundToFloat(n.z / length)};
}

Vec3 QuadNormal(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3) {
  const Vec3 a1 = TriangleNormal(p0, p1, p2);
  const Vec3 a2 = TriangleNormal(p0, p2, p3);
  const Vec3 b1 = TriangleNormal(p1, p2, p3);
  const Vec3 b2 = TriangleNormal(p1, p3, p0);
  const double dA = DotProduct(a1, a2);
  const double dB = DotProduct(b1, b2);
  Vec3 s;
  if (dB < dA) {
    AddVec3(s, a1, a2);
  } else {
    AddVec3(s, b1, b2);
  }
  const double length = std::sqrt(SquaredLength(s));
  if (length == 0.0) return kZero;
  return Vec3{RoundToFloat(s.x / length), RoundToFloat(s.y / length), RoundToFloat(s.z / length)};
}

void SmoothVertexNormals(FaceRecord* records, int32_t faceCount, Vec3* vertexNormals,
                         int32_t vertexCount) {
  for (int32_t i = 0; i < faceCount; ++i) {
    const FaceRecord& record = records[i];
    if (record.valid == 0) continue;
    const int32_t corners = DefinedCorners(record);
    for (int32_t k = 0; k < corners; ++k) {
      const int32_t vertex = record.cornerVertices[k];
      if (!InRange(vertex, vertexCount)) continue;
      AddVec3(vertexNormals[vertex], vertexNormals[vertex], record.faceNormal);
    }
  }

  for (int32_t j = 0; j < vertexCount; ++j) {
    Vec3& n = vertexNormals[j];
    const double length = std::sqrt(SquaredLength(n));
    // Written as "not greater than 0" so that a NaN sum becomes zero too.
    if (!(length > 0.0)) {
      n = kZero;
      continue;
    }
    SetVec3(n, RoundToFloat(n.x / length), RoundToFloat(n.y / length), RoundToFloat(n.z / length));
  }

  for (int32_t i = 0; i < faceCount; ++i) {
    FaceRecord& record = records[i];
    if (record.valid == 0) continue;
    const int32_t corners = DefinedCorners(record);
    for (int32_t k = 0; k < corners; ++k) {
      const int32_t vertex = record.cornerVertices[k];
      record.cornerNormals[k] = InRange(vertex, vertexCount) ? vertexNormals[vertex] : kZero;
    }
  }
}

bool GatherFaceRecords() {
  ReleaseFaceRecords();

  const HostApi& host = g_plugin.host;
  if (!HostCanGather(host)) return true;
  const MQDocument document = g_plugin.document;
  const MQObject object = host.MQDoc_GetObject(document, host.MQDoc_GetCurrentObjectIndex(document));
  if (object == nullptr) return true;

  const int32_t faceCount = host.MQObj_GetFaceCount(object);
  const int32_t vertexCount = host.MQObj_GetVertexCount(object);
  if (faceCount < 0 || faceCount > kMaxGatherCount || vertexCount < 0 ||
      vertexCount > kMaxGatherCount) {
    return true;
  }

  // Zero-initialised, so that the fields an invalid record leaves undefined
  // still hold a fixed value.
  FaceRecord* records =
      faceCount > 0 ? new (std::nothrow) FaceRecord[static_cast<size_t>(faceCount)]() : nullptr;
  Vec3* normals =
      vertexCount > 0 ? new (std::nothrow) Vec3[static_cast<size_t>(vertexCount)]() : nullptr;
  if ((faceCount > 0 && records == nullptr) || (vertexCount > 0 && normals == nullptr)) {
    delete[] records;
    delete[] normals;
    return true;
  }

  PointBuffers buffers;
  for (int32_t i = 0; i < faceCount; ++i) ReadFace(host, object, i, vertexCount, buffers, records[i]);
  // Adding the face normals after all faces are read gives the same sums as
  // adding them face by face: the order of additions is the same.
  SmoothVertexNormals(records, faceCount, normals, vertexCount);

  g_plugin.faceRecords = records;
  g_plugin.faceCount = faceCount;
  g_plugin.vertexNormals = normals;
  g_plugin.vertexCount = vertexCount;
  return true;
}
