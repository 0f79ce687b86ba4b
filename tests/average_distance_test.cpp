#include "bake/average_distance.h"

#include <gtest/gtest.h>

#include <vector>

#include "document.h"
#include "mesh/occluders.h"
#include "shell/plugin_state.h"
#include "test_support.h"

namespace {

class AverageDistance : public ::testing::Test {
 protected:
  void SetUp() override { BindStandInHost(document_); }
  void TearDown() override {
    g_plugin.texelTable = nullptr;
    g_plugin.texelTableSize = 0;
    ReleaseOccluderSet();
  }
  void UseTable(std::vector<TexelEntry> table, int size) {
    table_ = std::move(table);
    g_plugin.texelTable = table_.data();
    g_plugin.texelTableSize = size;
    g_plugin.settings.textureSize = size;
  }
  host::Document document_;
  std::vector<TexelEntry> table_;
};

const TexelEntry kEmpty{-1, {0, 0, 0}, {0, 0, 0}};

TEST_F(AverageDistance, MissesCountAsZero) {
  // A roof at y = 30 facing down (corners clockwise seen from below) over
  // the first texel only; the second sees nothing.
  host::Object& roof = host::AddObject(document_, "roof");
  AddFace(roof, {{-1, 30, -1}, {-1, 30, 1}, {1, 30, 1}, {1, 30, -1}});
  ASSERT_TRUE(BuildOccluderSet());
  UseTable({TexelEntry{0, {0, 1, 0}, {0, 0, 0}}, kEmpty, TexelEntry{0, {0, 1, 0}, {50, 0, 0}},
            kEmpty},
           2);
  EXPECT_EQ(AverageOccluderDistance(), 15.0);
}

TEST_F(AverageDistance, NoOccludersOrNoCoveredTexel) {
  BuildOccluderSet();
  UseTable({TexelEntry{0, {0, 1, 0}, {0, 0, 0}}}, 1);
  EXPECT_EQ(AverageOccluderDistance(), 0.0);
  UseTable({kEmpty, kEmpty, kEmpty, kEmpty}, 2);
  EXPECT_EQ(AverageOccluderDistance(), 0.0);
}

TEST_F(AverageDistance, HitAtZeroAddsNothing) {
  host::Object& floor = host::AddObject(document_, "floor");
  AddFace(floor, {{-1, 0, -1}, {-1, 0, 1}, {1, 0, 1}, {1, 0, -1}});  // facing down at y = 0
  ASSERT_TRUE(BuildOccluderSet());
  UseTable({TexelEntry{0, {0, 1, 0}, {0, 0, 0}}}, 1);
  EXPECT_EQ(AverageOccluderDistance(), 0.0);
}

TEST_F(AverageDistance, UnusableTableIsNotRead) {
  // A table built for size 1 while the dialog's size is now 64: reading it
  // as 64 x 64 would run far past its one entry.
  std::vector<TexelEntry> one{TexelEntry{0, {0, 1, 0}, {0, 0, 0}}};
  g_plugin.texelTable = one.data();
  g_plugin.texelTableSize = 1;
  g_plugin.settings.textureSize = 64;
  EXPECT_EQ(AverageOccluderDistance(), 0.0);
  g_plugin.texelTable = nullptr;
  g_plugin.settings.textureSize = 1;
  EXPECT_EQ(AverageOccluderDistance(), 0.0);
  g_plugin.settings.textureSize = 0;
  g_plugin.texelTableSize = 0;
  EXPECT_EQ(AverageOccluderDistance(), 0.0);
}

TEST_F(AverageDistance, RayStartsAtThePositionAlongTheStoredNormal) {
  // The normal is not renormalised: length 2 halves the ray parameter.
  host::Object& roof = host::AddObject(document_, "roof");
  AddFace(roof, {{-1, 30, -1}, {-1, 30, 1}, {1, 30, 1}, {1, 30, -1}});
  ASSERT_TRUE(BuildOccluderSet());
  UseTable({TexelEntry{0, {0, 2, 0}, {0, 10, 0}}}, 1);
  EXPECT_EQ(AverageOccluderDistance(), 10.0);
}

}  // namespace
