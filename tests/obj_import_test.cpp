#include "obj_import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "mesh/face_records.h"
#include "test_support.h"

namespace {

struct Imported {
  bool ok = false;
  std::string error;
  host::Document document;
};

Imported Import(const std::string& text, double scale = 1.0) {
  Imported result;
  result.ok = host::ImportObjFromString(text, "m.obj", scale, result.document, &result.error);
  return result;
}

const host::Object& ObjectAt(const Imported& imported, size_t index) {
  return *imported.document.objects.at(index);
}

// Position of corner k of face f, through the face's point list.
Vec3 CornerPosition(const host::Object& object, size_t f, size_t k) {
  return object.vertices.at(static_cast<size_t>(object.faces.at(f).points.at(k)));
}

// Three distinct vertices, enough for faces "f 1 2 3".
const char kThreeVertices[] = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

// ---------------------------------------------------------------------------
// Winding and corner order

TEST(ObjImportWinding, QuadCornersAreReversedAfterTheFirst) {
  // The positions are the vertex numbers, so each corner shows where it came
  // from. OBJ corners (v3, v1, v4, v2) must become host corners
  // (v3, v2, v4, v1); vertices are numbered in order of first use in the
  // file's corner order: v3 -> 0, v1 -> 1, v4 -> 2, v2 -> 3.
  Imported imported = Import(
      "v 1 1 1\nv 2 2 2\nv 3 3 3\nv 4 4 4\n"
      "vt 0.25 0.5\nvt 0.5 0.5\nvt 0.75 0.5\nvt 1 0.5\n"
      "f 3/3 1/1 4/4 2/2\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Object& object = ObjectAt(imported, 0);
  ASSERT_EQ(object.vertices.size(), 4u);
  EXPECT_EQ(object.vertices[0].x, 3.0f);
  EXPECT_EQ(object.vertices[1].x, 1.0f);
  EXPECT_EQ(object.vertices[2].x, 4.0f);
  EXPECT_EQ(object.vertices[3].x, 2.0f);
  ASSERT_EQ(object.faces.size(), 1u);
  EXPECT_EQ(object.faces[0].points, (std::vector<int>{0, 3, 2, 1}));
  // UVs travel with their corners: host corner k's u is a quarter of the
  // vertex number it shows.
  ASSERT_EQ(object.faces[0].uvs.size(), 4u);
  const float expectedU[] = {0.75f, 0.5f, 1.0f, 0.25f};
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(object.faces[0].uvs[k].u, expectedU[k]) << k;
    EXPECT_EQ(CornerPosition(object, 0, k).x, expectedU[k] * 4.0f) << k;
  }
}

TEST(ObjImportWinding, TriangleAndPentagonOrders) {
  Imported imported = Import(
      "v 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\nv 5 0 0\n"
      "f 1 2 3\nf 1 2 3 4 5\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Object& object = ObjectAt(imported, 0);
  EXPECT_EQ(object.faces[0].points, (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(object.faces[1].points, (std::vector<int>{0, 4, 3, 2, 1}));
}

// ---------------------------------------------------------------------------
// UVs

TEST(ObjImportUv, VIsFlippedAsTheFloatOneMinusV) {
  // Each expectation is the float subtraction done here, independently of the
  // importer's double-precision route; u passes unchanged.
  struct Case {
    const char* text;
    float v;
  } cases[] = {
      {"0.3", 0.3f},          {"0.7", 0.7f},   {"1e-8", 1e-8f}, {"0.99999994", 0.99999994f},
      {"-0.25", -0.25f},      {"1.5", 1.5f},   {"0", 0.0f},     {"0.123456789", 0.123456789f},
      {"1", 1.0f},            {"2.75", 2.75f},
  };
  for (const Case& c : cases) {
    Imported imported =
        Import(std::string(kThreeVertices) + "vt 0.625 " + c.text + "\nf 1/1 2/1 3/1\n");
    ASSERT_TRUE(imported.ok) << imported.error;
    const host::Face& face = ObjectAt(imported, 0).faces[0];
    for (const Vec2& uv : face.uvs) {
      EXPECT_EQ(FloatBits(uv.u), FloatBits(0.625f)) << c.text;
      EXPECT_EQ(FloatBits(uv.v), FloatBits(1.0f - c.v)) << c.text;
    }
  }
}

TEST(ObjImportUv, TexcoordWithOnlyUHasVZeroAndWIsIgnored) {
  Imported imported =
      Import(std::string(kThreeVertices) + "vt 0.5\nvt 0.25 0.75 0.9\nf 1/1 2/2 3/1\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Face& face = ObjectAt(imported, 0).faces[0];
  // Host corners: OBJ corners 0, 2, 1.
  EXPECT_EQ(face.uvs[0].u, 0.5f);
  EXPECT_EQ(face.uvs[0].v, 1.0f);
  EXPECT_EQ(face.uvs[1].u, 0.5f);
  EXPECT_EQ(face.uvs[1].v, 1.0f);
  EXPECT_EQ(face.uvs[2].u, 0.25f);
  EXPECT_EQ(face.uvs[2].v, 0.25f);
}

TEST(ObjImportUv, CornersWithoutTexcoordGetZero) {
  // A face with texture coordinates, one without (v and v//vn forms), and a
  // face that mixes both kinds of corner.
  Imported imported = Import(std::string(kThreeVertices) +
                             "vn 0 0 1\nvt 0.5 0.25\n"
                             "f 1/1 2/1 3/1\n"
                             "f 1 2 3\n"
                             "f 1//1 2//1 3//1\n"
                             "f 1/1/1 2 3//1\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Object& object = ObjectAt(imported, 0);
  ASSERT_EQ(object.faces.size(), 4u);
  for (const Vec2& uv : object.faces[0].uvs) {
    EXPECT_EQ(uv.u, 0.5f);
    EXPECT_EQ(uv.v, 0.75f);
  }
  for (size_t f = 1; f < 3; ++f) {
    ASSERT_EQ(object.faces[f].uvs.size(), 3u);
    for (const Vec2& uv : object.faces[f].uvs) {
      EXPECT_EQ(FloatBits(uv.u), 0u);
      EXPECT_EQ(FloatBits(uv.v), 0u);
    }
  }
  // Mixed: host corner 0 is OBJ corner 0 (with vt), the others have none.
  const host::Face& mixed = object.faces[3];
  EXPECT_EQ(mixed.uvs[0].u, 0.5f);
  EXPECT_EQ(mixed.uvs[0].v, 0.75f);
  EXPECT_EQ(FloatBits(mixed.uvs[1].u) | FloatBits(mixed.uvs[1].v), 0u);
  EXPECT_EQ(FloatBits(mixed.uvs[2].u) | FloatBits(mixed.uvs[2].v), 0u);
}

// ---------------------------------------------------------------------------
// Objects

struct GroupingCase {
  const char* label;
  const char* records;  // after kThreeVertices; every "f" is "f 1 2 3"
  std::vector<std::string> names;
  std::vector<size_t> faceCounts;
};

TEST(ObjImportGrouping, ObjectsFollowObjectAndGroupRecords) {
  const GroupingCase cases[] = {
      {"o records", "o A\nf 1 2 3\nf 1 2 3\no B\nf 1 2 3\n", {"A", "B"}, {2, 1}},
      {"leading faces go to default", "f 1 2 3\no A\nf 1 2 3\n", {"default", "A"}, {1, 1}},
      {"no default without leading faces", "o A\nf 1 2 3\n", {"A"}, {1}},
      {"g records without o", "g x\nf 1 2 3\ng y\nf 1 2 3\nf 1 2 3\n", {"x", "y"}, {1, 2}},
      {"g leading faces", "f 1 2 3\ng x\nf 1 2 3\n", {"default", "x"}, {1, 1}},
      {"g does not split an o object", "o A\ng x\nf 1 2 3\ng y\nf 1 2 3\n", {"A"}, {2}},
      {"g before the first o counts as leading", "g x\nf 1 2 3\no A\nf 1 2 3\n",
       {"default", "A"}, {1, 1}},
      {"no records at all", "f 1 2 3\nf 1 2 3\n", {"default"}, {2}},
      {"no faces at all", "", {}, {}},
      {"an o without faces is kept", "o A\no B\nf 1 2 3\n", {"A", "B"}, {0, 1}},
      {"a repeated g name starts a new object", "g x\nf 1 2 3\ng y\nf 1 2 3\ng x\nf 1 2 3\n",
       {"x", "y", "x"}, {1, 1, 1}},
      {"names keep inner spacing, lose comments", "o  My  Cube \t# note\nf 1 2 3\n",
       {"My  Cube"}, {1}},
      {"several group names", "g a b\nf 1 2 3\n", {"a b"}, {1}},
      {"an unnamed o", "o\nf 1 2 3\n", {""}, {1}},
      {"l and p records are not faces", "l 1 2\np 1\no A\nl 1 2 3\nf 1 2 3\n", {"A"}, {1}},
      {"other records are skipped",
       "mtllib a.mtl\nusemtl red\ns 1\nvp 0.5\ncstype bezier\nf 1 2 3\ns off\n",
       {"default"}, {1}},
  };
  for (const GroupingCase& c : cases) {
    SCOPED_TRACE(c.label);
    Imported imported = Import(std::string(kThreeVertices) + c.records);
    ASSERT_TRUE(imported.ok) << imported.error;
    EXPECT_EQ(host::ObjectNames(imported.document), c.names);
    ASSERT_EQ(imported.document.objects.size(), c.faceCounts.size());
    for (size_t i = 0; i < c.faceCounts.size(); ++i) {
      EXPECT_EQ(ObjectAt(imported, i).faces.size(), c.faceCounts[i]) << i;
      EXPECT_TRUE(ObjectAt(imported, i).visible);
    }
  }
}

TEST(ObjImportGrouping, FacesKeepFileOrderWithinAnObject) {
  // The first vertex of each face tells the faces apart; the order of the
  // faces in the file is v1, v3, v2.
  Imported imported = Import("v 1 0 0\nv 2 0 0\nv 3 0 0\nf 1 2 3\nf 3 1 2\nf 2 3 1\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Object& object = ObjectAt(imported, 0);
  EXPECT_EQ(CornerPosition(object, 0, 0).x, 1.0f);
  EXPECT_EQ(CornerPosition(object, 1, 0).x, 3.0f);
  EXPECT_EQ(CornerPosition(object, 2, 0).x, 2.0f);
}

TEST(ObjImportGrouping, ObjectsAreAppendedToTheDocument) {
  host::Document document;
  host::AddObject(document, "existing");
  std::string error;
  ASSERT_TRUE(host::ImportObjFromString(std::string(kThreeVertices) + "o A\nf 1 2 3\n", "m.obj",
                                        1.0, document, &error))
      << error;
  EXPECT_EQ(host::ObjectNames(document), (std::vector<std::string>{"existing", "A"}));
}

TEST(ObjImportGrouping, ObjectNamesMarksEmptySlots) {
  host::Document document;
  host::AddObject(document, "a");
  document.objects.emplace_back();
  host::AddObject(document, "c");
  EXPECT_EQ(host::ObjectNames(document), (std::vector<std::string>{"a", "", "c"}));
}

// ---------------------------------------------------------------------------
// Face sizes

TEST(ObjImportFaces, EveryPointCountIsKept) {
  // tinyobjloader drops faces below three points and keeps counts in a byte;
  // 1, 2, 5 and 300 points must all survive with their corners in order.
  std::string text;
  for (int i = 1; i <= 300; ++i) text += "v " + std::to_string(i) + " 0 0\n";
  text += "f 1\nf 1 2\nf 1 2 3 4 5\nf";
  for (int i = 1; i <= 300; ++i) text += " " + std::to_string(i);
  text += "\n";
  Imported imported = Import(text);
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Object& object = ObjectAt(imported, 0);
  ASSERT_EQ(object.faces.size(), 4u);
  EXPECT_EQ(object.faces[0].points, (std::vector<int>{0}));
  EXPECT_EQ(object.faces[1].points, (std::vector<int>{0, 1}));
  EXPECT_EQ(object.faces[2].points, (std::vector<int>{0, 4, 3, 2, 1}));
  const host::Face& big = object.faces[3];
  ASSERT_EQ(big.points.size(), 300u);
  ASSERT_EQ(big.uvs.size(), 300u);
  // Host corner 0 is vertex 1, host corner k > 0 is vertex 301 - k.
  EXPECT_EQ(CornerPosition(object, 3, 0).x, 1.0f);
  for (size_t k = 1; k < 300; ++k) {
    ASSERT_EQ(CornerPosition(object, 3, k).x, static_cast<float>(301 - k)) << k;
  }
}

TEST(ObjImportFaces, RepeatedVertexInOneFaceSharesItsIndex) {
  Imported imported = Import(std::string(kThreeVertices) + "f 1 2 1 3\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Object& object = ObjectAt(imported, 0);
  EXPECT_EQ(object.vertices.size(), 3u);
  EXPECT_EQ(object.faces[0].points, (std::vector<int>{0, 2, 0, 1}));
}

// ---------------------------------------------------------------------------
// Vertices and indices

TEST(ObjImportVertices, NegativeIndicesCountBackFromTheLineAbove) {
  // -1 is the last vertex defined above the face, so the first face is
  // v1 v2 v3 and the second, after a fifth vertex, is v5 v4 v3.
  Imported imported = Import(
      "v 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\n"
      "vt 0.125 0\nvt 0.25 0\n"
      "f -4/-2 -3/-1 -2/-2\n"
      "v 5 0 0\n"
      "f -1 -2 -3\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Object& object = ObjectAt(imported, 0);
  // Host order is OBJ corners 0, 2, 1.
  EXPECT_EQ(CornerPosition(object, 0, 0).x, 1.0f);
  EXPECT_EQ(CornerPosition(object, 0, 1).x, 3.0f);
  EXPECT_EQ(CornerPosition(object, 0, 2).x, 2.0f);
  EXPECT_EQ(object.faces[0].uvs[0].u, 0.125f);
  EXPECT_EQ(object.faces[0].uvs[1].u, 0.125f);
  EXPECT_EQ(object.faces[0].uvs[2].u, 0.25f);
  EXPECT_EQ(CornerPosition(object, 1, 0).x, 5.0f);
  EXPECT_EQ(CornerPosition(object, 1, 1).x, 3.0f);
  EXPECT_EQ(CornerPosition(object, 1, 2).x, 4.0f);
}

TEST(ObjImportVertices, PositiveIndicesMayReferToLaterVertices) {
  Imported imported = Import("f 1 2 3\nv 7 0 0\nv 8 0 0\nv 9 0 0\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  EXPECT_EQ(CornerPosition(ObjectAt(imported, 0), 0, 0).x, 7.0f);
}

TEST(ObjImportVertices, EachObjectHoldsOnlyTheVerticesItUsesInFirstUseOrder) {
  // Vertex 3 is used by both objects and copied into each; vertex 5 is used
  // by none and appears nowhere. B's first use order is v4, v3, v2.
  Imported imported = Import(
      "v 1 0 0\nv 2 0 0\nv 3 0 0\nv 4 0 0\nv 5 0 0\n"
      "o A\nf 1 3 2\n"
      "o B\nf 4 3 2\nf 3 4 2\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Object& a = ObjectAt(imported, 0);
  const host::Object& b = ObjectAt(imported, 1);
  ASSERT_EQ(a.vertices.size(), 3u);
  EXPECT_EQ(a.vertices[0].x, 1.0f);
  EXPECT_EQ(a.vertices[1].x, 3.0f);
  EXPECT_EQ(a.vertices[2].x, 2.0f);
  ASSERT_EQ(b.vertices.size(), 3u);
  EXPECT_EQ(b.vertices[0].x, 4.0f);
  EXPECT_EQ(b.vertices[1].x, 3.0f);
  EXPECT_EQ(b.vertices[2].x, 2.0f);
  EXPECT_EQ(b.faces[0].points, (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(b.faces[1].points, (std::vector<int>{1, 2, 0}));
}

TEST(ObjImportVertices, ExtraVertexValuesAndNormalsAreIgnored) {
  // A w value, a colour extension and normals change nothing.
  Imported imported = Import(
      "v 1 2 3 0.5\nv 4 5 6 0.1 0.2 0.3\nv 7 8 9\nvn 0 0 1\nvn 1 0 0\nf 1//2 2//1 3//2\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Object& object = ObjectAt(imported, 0);
  ASSERT_EQ(object.vertices.size(), 3u);
  EXPECT_EQ(object.vertices[1].x, 4.0f);
  EXPECT_EQ(object.vertices[1].y, 5.0f);
  EXPECT_EQ(object.vertices[1].z, 6.0f);
}

// ---------------------------------------------------------------------------
// Numbers

TEST(ObjImportNumbers, DecimalsBecomeTheirFloats) {
  // Expected bit patterns are the IEEE single-precision encodings of the
  // written values (all exactly representable or far from a halfway point).
  struct Case {
    const char* text;
    uint32_t bits;
  } cases[] = {
      {"0.1", 0x3DCCCCCDu},       {"-2.5", 0xC0200000u},    {"1e-3", 0x3A83126Fu},
      {"3.4028235e38", 0x7F7FFFFFu}, {"-0", 0x80000000u},  {"1.5E+2", 0x43160000u},
      {".5", 0x3F000000u},        {"-.5", 0xBF000000u},     {"5.", 0x40A00000u},
      {"+7", 0x40E00000u},        {"1e-45", 0x00000001u},   {"0e500", 0x00000000u},
      {"-0e999", 0x80000000u},    {"1e99999", 0x7F800000u}, {"-1e400", 0xFF800000u},
      {"1e-99999", 0x00000000u},  {"0001.2500", 0x3FA00000u}, {"inf", 0x7F800000u},
      {"-Infinity", 0xFF800000u}, {"+INF", 0x7F800000u},
  };
  for (const Case& c : cases) {
    Imported imported = Import(std::string("v ") + c.text + " 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\n");
    ASSERT_TRUE(imported.ok) << c.text << ": " << imported.error;
    EXPECT_EQ(FloatBits(ObjectAt(imported, 0).vertices[0].x), c.bits) << c.text;
  }
}

TEST(ObjImportNumbers, NanIsAcceptedInPositionsAndTexcoords) {
  for (const char* word : {"nan", "NaN", "-nan", "nan(ind)", "-nan(0x7fc00000)"}) {
    Imported imported = Import(std::string("v 1 ") + word + " 2\nv 0 0 0\nv 0 0 0\nvt " + word +
                               " 0.5\nf 1/1 2/1 3/1\n");
    ASSERT_TRUE(imported.ok) << word << ": " << imported.error;
    const host::Object& object = ObjectAt(imported, 0);
    EXPECT_EQ(object.vertices[0].x, 1.0f);
    EXPECT_TRUE(std::isnan(object.vertices[0].y)) << word;
    EXPECT_EQ(object.vertices[0].z, 2.0f);
    EXPECT_TRUE(std::isnan(object.faces[0].uvs[0].u)) << word;
    EXPECT_EQ(object.faces[0].uvs[0].v, 0.5f);
  }
}

TEST(ObjImportNumbers, NonFiniteTexcoordVFlips) {
  Imported imported = Import(std::string(kThreeVertices) + "vt 0 inf\nf 1/1 2/1 3/1\n");
  ASSERT_TRUE(imported.ok) << imported.error;
  EXPECT_EQ(FloatBits(ObjectAt(imported, 0).faces[0].uvs[0].v), 0xFF800000u);
}

TEST(ObjImportNumbers, MalformedNumbersAreRejected) {
  for (const char* word : {"abc", "1.5.5", ".", "-", "1e", "1e+", "0x10", "--1", "1,5", "nanx",
                           "in", "1.5f", "e5", "nan(", "nan(a-b)", "1d5"}) {
    for (const char* line : {"v 1 X 2", "vt X", "vn 0 X 1"}) {
      std::string text = line;
      text.replace(text.find('X'), 1, word);
      Imported imported = Import("v 0 0 0\n" + text + "\n");
      EXPECT_FALSE(imported.ok) << text;
      EXPECT_EQ(imported.error, std::string("m.obj:2: '") + word + "' is not a number") << text;
    }
  }
}

// ---------------------------------------------------------------------------
// Scale

TEST(ObjImportScale, ScaleOneKeepsTheFloatsAndOtherScalesRoundOnce) {
  const char* text = "v 100 12.5 0.1\nv 1.5 -3e38 -0\nv 0 0 0\nf 1 2 3\n";
  Imported unscaled = Import(text, 1.0);
  ASSERT_TRUE(unscaled.ok) << unscaled.error;
  const Vec3 p = ObjectAt(unscaled, 0).vertices[0];
  EXPECT_EQ(FloatBits(p.z), 0x3DCCCCCDu);  // 0.1f

  // 100 * 0.3: the double 0.3 is 0.299999999999999988898, so the double
  // product is 29.99999999999999889, which rounds to the float 30. Scaling
  // in float instead (100 * 0.3f = 30.0000011920929) would give 30.000002.
  // Likewise 12.5 * 0.3 = 3.74999999999999986 rounds to 3.75.
  Imported scaled = Import(text, 0.3);
  ASSERT_TRUE(scaled.ok) << scaled.error;
  const host::Object& object = ObjectAt(scaled, 0);
  EXPECT_EQ(FloatBits(object.vertices[0].x), 0x41F00000u);  // 30
  EXPECT_EQ(FloatBits(object.vertices[0].y), 0x40700000u);  // 3.75
  EXPECT_NE(FloatBits(object.vertices[0].x), FloatBits(100.0f * 0.3f));
  EXPECT_EQ(FloatBits(object.vertices[1].z), 0x80000000u);  // -0 stays -0

  Imported doubled = Import(text, 2.0);
  ASSERT_TRUE(doubled.ok) << doubled.error;
  EXPECT_EQ(ObjectAt(doubled, 0).vertices[1].x, 3.0f);
  // -3e38 * 2 is beyond the float range: -inf.
  EXPECT_EQ(FloatBits(ObjectAt(doubled, 0).vertices[1].y), 0xFF800000u);
}

TEST(ObjImportScale, InvalidScalesAreRejected) {
  for (double scale : {0.0, -1.0, -0.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    Imported imported = Import(std::string(kThreeVertices) + "f 1 2 3\n", scale);
    EXPECT_FALSE(imported.ok) << scale;
    EXPECT_EQ(imported.error, "m.obj: the scale factor must be a finite number greater than 0");
    EXPECT_TRUE(imported.document.objects.empty());
  }
  host::Document document;
  std::string error;
  EXPECT_FALSE(host::ImportObj("/no/such/file.obj", -2.0, document, &error));
  EXPECT_EQ(error, "/no/such/file.obj: the scale factor must be a finite number greater than 0");
}

// ---------------------------------------------------------------------------
// Errors

struct ErrorCase {
  const char* text;
  const char* message;
};

TEST(ObjImportErrors, MalformedFilesNameTheFileAndLine) {
  const std::string eight = "v 0 0 0\nv 0 0 0\nv 0 0 0\nv 0 0 0\nv 0 0 0\nv 0 0 0\nv 0 0 0\nv 0 0 0\n";
  const ErrorCase cases[] = {
      {"v 1 2\n", "m.obj:1: vertex needs 3 coordinates"},
      {"v\n", "m.obj:1: vertex needs 3 coordinates"},
      {"vt\n", "m.obj:1: texture coordinate needs at least 1 value"},
      {"vn 1 2 # comment 3\n", "m.obj:1: normal needs 3 coordinates"},
      {"v 0 0 0\nf\n", "m.obj:2: face refers to no vertex"},
      {"v 0 0 0\nf # only a comment\n", "m.obj:2: face refers to no vertex"},
      {"f 1 2 9\n", "m.obj:1: face refers to vertex 9, the file has 8"},
      {"f 0 1 2\n", "m.obj:1: face refers to vertex 0; indices start at 1"},
      {"v 0 0 0\nv 0 0 0\nf -3 1 2\n",
       "m.obj:3: face refers to vertex -3, the file has 2 before this line"},
      {"f 99999999999999999999 1 2\n",
       "m.obj:1: face refers to vertex 99999999999999999999, the file has 8"},
      {"f 1 2 3\nf -99999999999999999999 1 2\n",
       "m.obj:2: face refers to vertex -99999999999999999999, the file has 0 before this line"},
      {"vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/5 3/1\n",
       "m.obj:5: face refers to texture coordinate 5, the file has 4"},
      {"vt 0 0\nf 1/0 2/1 3/1\n", "m.obj:2: face refers to texture coordinate 0; indices start at 1"},
      {"f 1/-1 2 3\nvt 0 0\n",
       "m.obj:1: face refers to texture coordinate -1, the file has 0 before this line"},
      {"vn 0 0 1\nvn 0 1 0\nf 1//3 2//1 3//1\n", "m.obj:3: face refers to normal 3, the file has 2"},
      {"f 1 2 3/\n", "m.obj:1: '3/' is not a face corner"},
      {"f 1 2 3//\n", "m.obj:1: '3//' is not a face corner"},
      {"f 1 2 3/1/\n", "m.obj:1: '3/1/' is not a face corner"},
      {"f 1 2 3/1/1/1\n", "m.obj:1: '3/1/1/1' is not a face corner"},
      {"f 1 2 /3\n", "m.obj:1: '/3' is not a face corner"},
      {"f 1 2 a\n", "m.obj:1: 'a' is not a face corner"},
      {"f 1 2 3/a\n", "m.obj:1: '3/a' is not a face corner"},
      {"f 1 2 1.5\n", "m.obj:1: '1.5' is not a face corner"},
      {"f 1 2 +\n", "m.obj:1: '+' is not a face corner"},
      {"v 1 2 \x01x\n", "m.obj:1: '?x' is not a number"},
      {"v 1 2 "
       "123456789012345678901234567890123456789012345678901234567890x\n",
       "m.obj:1: '1234567890123456789012345678901234567890...' is not a number"},
  };
  for (const ErrorCase& c : cases) {
    // Eight vertices follow each case's text, so positive vertex indices up
    // to 8 are valid, and line numbers count from the case's first line.
    Imported imported = Import(std::string(c.text) + eight);
    EXPECT_FALSE(imported.ok) << c.text;
    EXPECT_EQ(imported.error, c.message) << c.text;
    EXPECT_TRUE(imported.document.objects.empty()) << c.text;
  }
}

TEST(ObjImportErrors, TheFirstBadLineIsReported) {
  Imported imported = Import("v 0 0 0\nv x 0 0\nf 5 6 7\n");
  EXPECT_EQ(imported.error, "m.obj:2: 'x' is not a number");
}

TEST(ObjImportErrors, LineNumbersFollowEveryLineEnding) {
  // LF, CR LF and lone CR each end one line; blank and comment lines count.
  const ErrorCase cases[] = {
      {"v 0 0 0\r\n\r\n# c\r\nf 1 1\r\nf 1 9\r\n", "m.obj:5: face refers to vertex 9, the file has 1"},
      {"v 0 0 0\r\rf 1 9\r", "m.obj:3: face refers to vertex 9, the file has 1"},
      {"v 0 0 0\n\r\nf 1 9", "m.obj:3: face refers to vertex 9, the file has 1"},
      {"\xEF\xBB\xBFv 0 0 0\nf 1 9\n", "m.obj:2: face refers to vertex 9, the file has 1"},
  };
  for (const ErrorCase& c : cases) {
    Imported imported = Import(c.text);
    EXPECT_EQ(imported.error, c.message) << c.text;
  }
}

TEST(ObjImportErrors, AFailedImportLeavesTheDocumentAlone) {
  host::Document document;
  host::AddObject(document, "existing");
  std::string error = "unchanged?";
  EXPECT_FALSE(host::ImportObjFromString(std::string(kThreeVertices) + "o A\nf 1 2 3\nf 4 5 6\n",
                                         "m.obj", 1.0, document, &error));
  EXPECT_EQ(error, "m.obj:6: face refers to vertex 4, the file has 3");
  EXPECT_EQ(host::ObjectNames(document), (std::vector<std::string>{"existing"}));
  // A null error pointer is allowed.
  EXPECT_FALSE(host::ImportObjFromString("f 0\n", "m.obj", 1.0, document, nullptr));
  EXPECT_TRUE(host::ImportObjFromString("v 0 0 0\nf 1\n", "m.obj", 1.0, document, nullptr));
}

TEST(ObjImportErrors, SyntaxVariantsThatAreAccepted) {
  // Tabs, a byte-order mark, comments after a record, CR line endings and a
  // last line without an ending.
  Imported imported = Import(
      "\xEF\xBB\xBF# header\rv\t1 0 0 # first\r\n  v 0 1 0\rv 0 0 1\n\n\tf 1 2\t3 # tri");
  ASSERT_TRUE(imported.ok) << imported.error;
  const host::Object& object = ObjectAt(imported, 0);
  ASSERT_EQ(object.faces.size(), 1u);
  EXPECT_EQ(CornerPosition(object, 0, 0).x, 1.0f);
  EXPECT_EQ(CornerPosition(object, 0, 1).z, 1.0f);
  EXPECT_EQ(CornerPosition(object, 0, 2).y, 1.0f);
}

// ---------------------------------------------------------------------------
// Files

TEST(ObjImportFiles, AFileImportsLikeItsText) {
  const std::string text = std::string(kThreeVertices) + "vt 0.5 0.25\no A\nf 1/1 2/1 3/1\n";
  const std::string path = testing::TempDir() + "obj_import_test_model.obj";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), file), text.size());
  std::fclose(file);

  host::Document fromFile;
  std::string error;
  ASSERT_TRUE(host::ImportObj(path, 1.0, fromFile, &error)) << error;
  std::remove(path.c_str());
  Imported fromText = Import(text);
  ASSERT_TRUE(fromText.ok);
  ASSERT_EQ(fromFile.objects.size(), 1u);
  const host::Object& a = *fromFile.objects[0];
  const host::Object& b = ObjectAt(fromText, 0);
  EXPECT_EQ(a.name, "A");
  EXPECT_EQ(a.faces[0].points, b.faces[0].points);
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  for (size_t i = 0; i < a.vertices.size(); ++i) {
    EXPECT_EQ(FloatBits(a.vertices[i].y), FloatBits(b.vertices[i].y));
  }
  EXPECT_EQ(a.faces[0].uvs[1].v, 0.75f);
}

TEST(ObjImportFiles, FileErrorsNameThePath) {
  host::Document document;
  std::string error;
  EXPECT_FALSE(host::ImportObj("/no/such/dir/model.obj", 1.0, document, &error));
  EXPECT_EQ(error, "/no/such/dir/model.obj: cannot open the file");
  // A directory opens on POSIX but cannot be read.
  const std::string directory = testing::TempDir();
  EXPECT_FALSE(host::ImportObj(directory, 1.0, document, &error));
  EXPECT_TRUE(error == directory + ": cannot read the file" ||
              error == directory + ": cannot open the file")
      << error;
  // Errors inside a file carry its path.
  const std::string path = testing::TempDir() + "obj_import_test_bad.obj";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("v 0 0 0\nf 1 2\n", file);
  std::fclose(file);
  EXPECT_FALSE(host::ImportObj(path, 1.0, document, &error));
  std::remove(path.c_str());
  EXPECT_EQ(error, path + ":2: face refers to vertex 2, the file has 1");
  EXPECT_TRUE(document.objects.empty());
}

// ---------------------------------------------------------------------------
// A cube, as the normal map sees it

struct CubeFace {
  Vec3 outward;
  Vec3 corners[4];  // counter-clockwise seen from outside, as OBJ has it
};

const CubeFace kCube[] = {
    {{1, 0, 0}, {{1, -1, -1}, {1, 1, -1}, {1, 1, 1}, {1, -1, 1}}},
    {{-1, 0, 0}, {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}},
    {{0, 1, 0}, {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}}},
    {{0, -1, 0}, {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}}},
    {{0, 0, 1}, {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}}},
    {{0, 0, -1}, {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}}},
};

Vec3 Cross(const Vec3& a, const Vec3& b) {
  return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 Minus(const Vec3& a, const Vec3& b) { return Vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }

TEST(ObjImportCube, HostFaceNormalsPointOutward) {
  std::string text = "o Cube\n";
  for (const CubeFace& face : kCube) {
    // The fixture itself: by the right-hand rule (c1 - c0) x (c2 - c0) of a
    // counter-clockwise face points to the viewer, here outward; every edge
    // is 2 long, so the product is 4 times the outward axis.
    const Vec3 n = Cross(Minus(face.corners[1], face.corners[0]),
                         Minus(face.corners[2], face.corners[0]));
    ASSERT_EQ(n.x, 4 * face.outward.x);
    ASSERT_EQ(n.y, 4 * face.outward.y);
    ASSERT_EQ(n.z, 4 * face.outward.z);
    for (const Vec3& c : face.corners) {
      text += "v " + std::to_string(int(c.x)) + " " + std::to_string(int(c.y)) + " " +
              std::to_string(int(c.z)) + "\n";
    }
  }
  for (int f = 0; f < 6; ++f) {
    text += "f";
    for (int k = 1; k <= 4; ++k) text += " " + std::to_string(4 * f + k);
    text += "\n";
  }

  Imported imported = Import(text);
  ASSERT_TRUE(imported.ok) << imported.error;
  ASSERT_EQ(imported.document.objects.size(), 1u);
  const host::Object& cube = ObjectAt(imported, 0);
  EXPECT_EQ(cube.name, "Cube");
  ASSERT_EQ(cube.vertices.size(), 24u);
  ASSERT_EQ(cube.faces.size(), 6u);
  for (size_t f = 0; f < 6; ++f) {
    SCOPED_TRACE(f);
    const Vec3 p0 = CornerPosition(cube, f, 0);
    const Vec3 p1 = CornerPosition(cube, f, 1);
    const Vec3 p2 = CornerPosition(cube, f, 2);
    const Vec3 p3 = CornerPosition(cube, f, 3);
    // Host normals point to the side that sees the corners clockwise; for a
    // face that OBJ sees counter-clockwise from outside that is outward.
    const Vec3 triangle = TriangleNormal(p0, p1, p2);
    EXPECT_EQ(triangle.x, kCube[f].outward.x);
    EXPECT_EQ(triangle.y, kCube[f].outward.y);
    EXPECT_EQ(triangle.z, kCube[f].outward.z);
    const Vec3 quad = QuadNormal(p0, p1, p2, p3);
    EXPECT_EQ(quad.x, kCube[f].outward.x);
    EXPECT_EQ(quad.y, kCube[f].outward.y);
    EXPECT_EQ(quad.z, kCube[f].outward.z);
  }
}

// ---------------------------------------------------------------------------
// Robustness

void CheckConsistent(const Imported& imported) {
  for (const auto& object : imported.document.objects) {
    ASSERT_TRUE(object);
    for (const host::Face& face : object->faces) {
      ASSERT_FALSE(face.points.empty());
      ASSERT_EQ(face.uvs.size(), face.points.size());
      for (int point : face.points) {
        ASSERT_GE(point, 0);
        ASSERT_LT(static_cast<size_t>(point), object->vertices.size());
      }
    }
  }
}

TEST(ObjImportRobustness, RandomBytesNeverBreakTheImport) {
  std::mt19937 random(20240531u);
  for (int round = 0; round < 500; ++round) {
    std::string text(random() % 400, '\0');
    for (char& c : text) c = static_cast<char>(random() & 0xFF);
    Imported imported = Import(text);
    if (imported.ok) CheckConsistent(imported);
    else EXPECT_EQ(imported.error.compare(0, 6, "m.obj:"), 0) << imported.error;
    EXPECT_EQ(imported.error.find('\n'), std::string::npos);
  }
}

TEST(ObjImportRobustness, RandomRecordSoupEitherImportsConsistentlyOrFails) {
  // Words close to valid OBJ, so that many texts succeed and the successes
  // exercise grouping, relative indices and odd numbers.
  const char* words[] = {"v", "vt", "vn", "f", "o", "g", "l", "#", "1", "2", "3", "-1", "-2",
                         "0", "1/1", "2//1", "-1/-1/-1", "3/2", "0.5", "nan", "-inf", "1e40",
                         "A", "\t", " ", "\r", "\n", "\r\n", "/", "1e99999", "7", "+4"};
  std::mt19937 random(77u);
  int successes = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 60);
    for (int i = 0; i < count; ++i) {
      text += words[random() % (sizeof words / sizeof words[0])];
      text += (random() % 3 == 0) ? "\n" : " ";
    }
    Imported imported = Import(text, (round % 2) ? 1.0 : 0.37);
    if (imported.ok) {
      ++successes;
      CheckConsistent(imported);
    } else {
      EXPECT_EQ(imported.error.compare(0, 6, "m.obj:"), 0) << imported.error;
    }
  }
  EXPECT_GT(successes, 100);
}

}  // namespace
