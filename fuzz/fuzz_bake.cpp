// The whole way from a host document to a baked BMP, on documents decoded
// from the fuzzer's bytes (fuzz_document.h): up to three objects, vertices that may be NaN,
// infinite, huge or denormal, faces of 0 to 8 points with any indices
// (duplicated faces and repeated corners included), UVs anywhere. Each input
// gathers the face records, builds a texel table of size 1 to 16, builds the
// occluder set, bakes in every mode, averages the occluder distance and
// encodes the picture, checking what each step promises on the way. The
// stand-in host module is bound in process, as MQInit binds it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "bake/average_distance.h"
#include "bake/bake_pass.h"
#include "bake/parallel_rows.h"
#include "bake/texel_table.h"
#include "document.h"
#include "fuzz_check.h"
#include "fuzz_document.h"
#include "image/bmp_file.h"
#include "mesh/face_records.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"
#include "window_internal.h"

namespace {

struct Dialog {
  HWND window;
  HWND progress;
};

Dialog& TheDialog() {
  static Dialog dialog = [] {
    PlatformWindowSpec params;
    params.className = "#32770";
    params.dialogProc = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
    Dialog made{};
    made.window = PlatformCreateWindow(params);
    PlatformWindowSpec bar;
    bar.parent = made.window;
    bar.className = "msctls_progress32";
    bar.id = 1019;
    made.progress = PlatformCreateWindow(bar);
    PlatformWindowSpec label;
    label.parent = made.window;
    label.className = "STATIC";
    label.id = kElapsedLabelId;
    label.text = "00:00";
    PlatformCreateWindow(label);
    return made;
  }();
  return dialog;
}

bool IsGrey(uint32_t pixel) {
  return (pixel & 0xFF) == ((pixel >> 8) & 0xFF) && (pixel & 0xFF) == ((pixel >> 16) & 0xFF);
}

void CheckTable(const TexelEntry* table, int32_t size) {
  for (int32_t e = 0; e < size * size; ++e) {
    const int32_t face = table[e].face;
    if (face == -1) continue;
    FUZZ_CHECK(face >= 0 && face < g_plugin.faceCount);
    FUZZ_CHECK(g_plugin.faceRecords[face].valid == 1);
  }
}

// The hierarchy must answer every ray exactly as the plain scan does.
void CheckQueries(const TexelEntry* table, int32_t size, const Vec3& light) {
  for (int32_t e = 0; e < size * size; e += 3) {
    const TexelEntry& texel = table[e];
    if (texel.face == -1) continue;
    Vec3 origin;
    AddVec3(origin, texel.position, texel.normal);
    const float fast[2] = {NearestHitDistance(texel.position, texel.normal), NearestHitDistance(origin, light)};
    const float plain[2] = {NearestHitDistanceLinear(texel.position, texel.normal),
                            NearestHitDistanceLinear(origin, light)};
    for (int k = 0; k < 2; ++k) {
      uint32_t a, b;
      std::memcpy(&a, &fast[k], 4);
      std::memcpy(&b, &plain[k], 4);
      FUZZ_CHECK(a == b);
      FUZZ_CHECK(fast[k] >= 0.0f && fast[k] < 9999.9f);
    }
  }
}

void CheckPicture(const TexelEntry* table, int32_t size, int32_t mode, bool filtered) {
  PixelImage& image = g_plugin.pixelImage;
  FUZZ_CHECK(image.IsValid());
  FUZZ_CHECK(image.biWidth == size && image.biHeight == size);
  for (int32_t y = 0; y < size; ++y) {
    for (int32_t x = 0; x < size; ++x) {
      const uint32_t pixel = *image.PixelAt(x, y);
      FUZZ_CHECK((pixel >> 24) == 0xFF);
      if (filtered) continue;
      const bool covered = table[size_t(y) * size + x].face != -1;
      if (!covered) {
        FUZZ_CHECK(pixel == kBackgroundColour);
      } else if (mode == kBakeShadow) {
        FUZZ_CHECK(pixel == kBlack || pixel == kWhite);
      } else if (mode != kBakeNormal) {
        FUZZ_CHECK(IsGrey(pixel));
      }
    }
  }
}

void CheckEncoding(int32_t size) {
  BmpImageFile* file = g_plugin.pixelImage.EncodeBmp();
  FUZZ_CHECK(file != nullptr);
  const int32_t stride = (3 * size + 3) / 4 * 4;
  FUZZ_CHECK(BmpFileSize(file) == 54 + stride * size);
  const uint8_t* bytes = BmpFileBytes(file);
  FUZZ_CHECK(bytes[0] == 'B' && bytes[1] == 'M' && bytes[10] == 54 && bytes[28] == 24);
  FreeBmpImageFile(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool bound = BindHostApi(g_plugin.host, TAMSINK_HOST_MODULE) == 1;
  FUZZ_CHECK(bound);
  const Dialog& dialog = TheDialog();
  fuzzdoc::ByteReader in(data, size);
  const fuzzdoc::Settings settings = fuzzdoc::ReadSettings(in);
  const int32_t textureSize = settings.bake.textureSize;
  SetBakeThreadCount(settings.threads);
  host::Document document;
  fuzzdoc::ReadDocument(in, document);
  g_plugin.document = host::Handle(document);

  GatherFaceRecords();
  FUZZ_CHECK(g_plugin.faceCount >= 0);
  FUZZ_CHECK((g_plugin.faceCount == 0) == (g_plugin.faceRecords == nullptr));

  TexelEntry* table = BuildTexelTable(textureSize);
  FUZZ_CHECK(table != nullptr);
  CheckTable(table, textureSize);
  g_plugin.texelTable = table;
  g_plugin.texelTableSize = textureSize;
  g_plugin.settings = settings.bake;
  g_plugin.progressBar = dialog.progress;

  BuildOccluderSet();
  CheckQueries(table, textureSize, LightDirection(settings.bake.lightPosition));

  for (int32_t mode = kBakeNormal; mode <= kBakeAO; ++mode) {
    g_plugin.settings.mode = mode;
    SendMessageA(dialog.progress, PBM_SETRANGE, 0, LPARAM(textureSize) << 16);
    SendMessageA(dialog.progress, PBM_SETSTEP, 1, 0);
    SendMessageA(dialog.progress, PBM_SETPOS, 0, 0);
    g_plugin.bakeStartTick = GetTickCount();
    RunBakePass(dialog.window);
    FUZZ_CHECK(SendMessageA(dialog.progress, PBM_GETPOS, 0, 0) == textureSize);
    CheckPicture(table, textureSize, mode, settings.bake.applyFilter != 0);
  }

  const double average = AverageOccluderDistance();
  FUZZ_CHECK(average >= 0.0 && average < 9999.9);
  CheckEncoding(textureSize);

  FreeTexelTable(table);
  g_plugin.texelTable = nullptr;
  g_plugin.texelTableSize = 0;
  ReleaseOccluderSet();
  g_plugin.pixelImage.Release();
  g_plugin.document = nullptr;
  return 0;
}
