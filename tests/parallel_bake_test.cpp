#include "bake/parallel_rows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "bake/average_distance.h"
#include "bake/bake_pass.h"
#include "bake/random_source.h"
#include "document.h"
#include "mesh/face_records.h"
#include "shell/plugin_state.h"
#include "test_support.h"
#include "window_internal.h"

namespace {

TEST(ForEachRowInOrder, ReportsEveryRowOnceInOrderAfterItsWork) {
  for (const int threads : {1, 2, 3, 8}) {
    const int rows = 57;
    std::vector<std::atomic<int>> worked(rows);
    std::vector<int> reported;
    ForEachRowInOrder(
        rows, threads,
        [&](int row) {
          // Uneven work so that rows finish out of order.
          std::this_thread::sleep_for(std::chrono::microseconds((row * 7919) % 300));
          worked[row].fetch_add(1);
        },
        [&](int row) {
          EXPECT_EQ(worked[row].load(), 1) << "row " << row << " reported before its work";
          reported.push_back(row);
        });
    ASSERT_EQ(reported.size(), size_t(rows)) << threads << " threads";
    for (int i = 0; i < rows; ++i) EXPECT_EQ(reported[i], i);
  }
}

TEST(ForEachRowInOrder, NoRows) {
  int calls = 0;
  ForEachRowInOrder(0, 4, [&](int) { ++calls; }, [&](int) { ++calls; });
  EXPECT_EQ(calls, 0);
}

TEST(BakeThreadCount, SetterOverridesAndZeroRestores) {
  SetBakeThreadCount(3);
  EXPECT_EQ(BakeThreadCount(), 3);
  SetBakeThreadCount(0);
  EXPECT_GE(BakeThreadCount(), 1);
}

// A UV-mapped scene with occluders: a sphere-like grid over a ground quad,
// baked whole at 1 thread and at several, which must agree byte for byte.
class ParallelBake : public ::testing::Test {
 protected:
  void SetUp() override {
    host::Object& ball = host::AddObject(document_, "ball");
    const int n = 12;
    for (int i = 0; i <= n; ++i)
      for (int j = 0; j <= n; ++j) {
        const double theta = 3.14159265 * i / n, phi = 6.2831853 * j / n;
        ball.vertices.push_back(Vec3{float(3 * std::sin(theta) * std::cos(phi)),
                                     float(3 * std::cos(theta) + 4),
                                     float(3 * std::sin(theta) * std::sin(phi))});
      }
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        host::Face f;
        const int a = i * (n + 1) + j;
        for (const int k : {a, a + 1, a + n + 2, a + n + 1}) f.points.push_back(k);
        for (const int k : {0, 1, 2, 3})
          f.uvs.push_back(Vec2{float(j + (k == 1 || k == 2)) / n, float(i + (k >= 2)) / n});
        ball.faces.push_back(std::move(f));
      }
    host::Object& ground = host::AddObject(document_, "ground");
    AddFace(ground, {{-20, 0, -20}, {-20, 0, 20}, {20, 0, 20}, {20, 0, -20}});
    BindStandInHost(document_);
    GatherFaceRecords();

    dialog_ = MakeTestWindow(nullptr, "#32770", 0, "");
    progress_ = MakeTestWindow(dialog_, "msctls_progress32", 1019, "");
    MakeTestWindow(dialog_, "STATIC", kElapsedLabelId, "");
    g_plugin.progressBar = progress_;

    g_plugin.settings = BakeSettings{};
    g_plugin.settings.textureSize = 24;
    g_plugin.settings.lightPosition = Vec3{1, 3, 2};
    g_plugin.settings.aoSampleCount = 6;
    g_plugin.settings.aoSearchDistance = 8.0f;
    g_plugin.texelTable = BuildTexelTable(24);
    g_plugin.texelTableSize = 24;
    ASSERT_NE(g_plugin.texelTable, nullptr);
  }
  void TearDown() override {
    SetBakeThreadCount(0);
    FreeTexelTable(g_plugin.texelTable);
    g_plugin.texelTable = nullptr;
    g_plugin.texelTableSize = 0;
    PlatformDestroyWindow(dialog_);
    g_plugin.progressBar = nullptr;
  }

  struct Result {
    std::vector<uint32_t> pixels;
    uint32_t randomState;
    int progress;
  };
  // Two bakes in a row from the same random state, as a user pressing
  // "BMPを作成" twice would make.
  std::vector<Result> BakeTwice(int threads, int mode, int filter) {
    SetBakeThreadCount(threads);
    g_plugin.settings.mode = mode;
    g_plugin.settings.applyFilter = filter;
    g_randomSource = RandomSource{};
    std::vector<Result> results;
    for (int i = 0; i < 2; ++i) {
      SendMessageA(progress_, PBM_SETRANGE, 0, LPARAM(24) << 16);
      SendMessageA(progress_, PBM_SETSTEP, 1, 0);
      SendMessageA(progress_, PBM_SETPOS, 0, 0);
      RunBakePass(dialog_);
      const PixelImage& image = g_plugin.pixelImage;
      results.push_back(Result{std::vector<uint32_t>(image.pixels, image.pixels + 24 * 24),
                               g_randomSource.state,
                               int(SendMessageA(progress_, PBM_GETPOS, 0, 0))});
    }
    return results;
  }

  host::Document document_;
  HWND dialog_ = nullptr, progress_ = nullptr;
};

TEST_F(ParallelBake, EveryModeMatchesTheSingleThreadedPass) {
  for (const int mode : {kBakeNormal, kBakeShade, kBakeShadow, kBakeAO})
    for (const int filter : {0, 1}) {
      const std::vector<Result> plain = BakeTwice(1, mode, filter);
      for (const int threads : {2, 5}) {
        const std::vector<Result> parallel = BakeTwice(threads, mode, filter);
        for (int i = 0; i < 2; ++i) {
          EXPECT_EQ(parallel[i].pixels, plain[i].pixels)
              << "mode " << mode << " filter " << filter << " threads " << threads << " bake " << i;
          EXPECT_EQ(parallel[i].randomState, plain[i].randomState) << "mode " << mode;
          EXPECT_EQ(parallel[i].progress, 24);
        }
      }
      if (mode == kBakeAO) {
        // The AO scene does occlude, and the second bake continues the
        // random sequence.
        EXPECT_NE(plain[0].pixels, plain[1].pixels);
        EXPECT_NE(plain[0].randomState, 1u);
      }
    }
}

TEST_F(ParallelBake, AverageDistanceMatchesTheSingleThreadedSum) {
  BuildOccluderSet();
  SetBakeThreadCount(1);
  const double plain = AverageOccluderDistance();
  EXPECT_GT(plain, 0.0);
  for (const int threads : {2, 7}) {
    SetBakeThreadCount(threads);
    EXPECT_EQ(AverageOccluderDistance(), plain) << threads << " threads";
  }
}

}  // namespace
