// Display lists over memory surfaces with a draw routine that records its calls: the update
// rectangle cut table, the saturated rebuild, inversion, sorting and merging, list creation and
// freeing, and the occlusion and flush passes of a small tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "core/system_block.h"
#include "render/blitter.h"
#include "render/display_surface.h"
#include "render/render.h"
#include "render/surface_ops.h"

namespace {

using Rects = std::vector<UpdateRect>;

std::string Text(const Rects& rects) {
  std::string s;
  for (const UpdateRect& r : rects)
    s += "(" + std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
         std::to_string(r.height) + ")";
  return s;
}

struct Draw {
  const DisplaySurface* owner;
  int32_t sx, sy, tx, ty, w, h;
};
std::vector<Draw> gDraws;

void RecordDraw(DisplaySurface* source, DisplaySurface*, int32_t sx, int32_t sy, int32_t tx, int32_t ty, int32_t w,
                int32_t h) {
  gDraws.push_back({source, sx, sy, tx, ty, w, h});
}

class DisplayLists : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = gSystem;
    block_ = SystemBlock{};
    product_ = ProductRecord{};
    SetLimits(kDisplayMerge | kDisplayMarkers, 100, 400);
    block_.product = &product_;
    gSystem = &block_;
    gDraws.clear();
    bytes_ = MemGetCurrentBytes();
  }

  void TearDown() override {
    for (DisplaySurface* s : surfaces_) {
      DisplayListFree(s);
      if (s->updateRects) MemFree(s->updateRects, s->updateBytes, 0);
      delete s;
    }
    surfaces_.clear();
    FreeDisplayListScratch();
    EXPECT_EQ(MemGetCurrentBytes(), bytes_) << "display lists or rectangle arrays were not given back";
    gSystem = saved_;
  }

  void SetLimits(uint32_t flags, int16_t maxRects, int16_t maxMarkers) {
    product_.flags = flags;
    product_.number100 = static_cast<uint16_t>(maxRects);
    product_.number400 = static_cast<uint16_t>(maxMarkers);
  }

  // A memory surface with an update-rectangle array of the limit's size.
  DisplaySurface* Surface(int16_t width, int16_t height, uint32_t flags = kSurfaceChunky | kSurface32Bit) {
    auto* s = new DisplaySurface{};
    s->width = width, s->height = height, s->bitsPerPixel = 32, s->bytesPerPixel = 4, s->flags = flags;
    s->updateBytes = (static_cast<uint32_t>(GetDisplayListLimits().maxRects) + 1) * sizeof(UpdateRect);
    s->updateRects = static_cast<UpdateRect*>(MemAlloc(s->updateBytes, 0));
    surfaces_.push_back(s);
    return s;
  }

  static void Set(DisplaySurface* s, const Rects& rects) {
    for (size_t i = 0; i < rects.size(); ++i) s->updateRects[i] = rects[i];
    s->updateCount = static_cast<int16_t>(rects.size());
  }
  static Rects Get(const DisplaySurface* s) { return Rects(s->updateRects, s->updateRects + s->updateCount); }

  // A child list at (x, y) whose draws are recorded.
  DisplayList* Child(DisplaySurface* s, DisplayList* parent, int16_t x, int16_t y, int16_t w, int16_t h) {
    DisplayList* list = DisplayListCreate(s, parent, x, w, h);
    list->y = y;
    list->draw = RecordDraw;
    return list;
  }

  static std::vector<const DisplayList*> Children(const DisplayList* list) {
    std::vector<const DisplayList*> out;
    for (const DisplayList* c = list->children->first; c->next; c = c->next) out.push_back(c);
    return out;
  }

  SystemBlock block_{};
  ProductRecord product_{};
  SystemBlock* saved_ = nullptr;
  uint32_t bytes_ = 0;
  std::vector<DisplaySurface*> surfaces_;
};

TEST_F(DisplayLists, SubtractionCutsByTheSidesThatStickOut) {
  // r = (10, 10, 20, 20): right 30, bottom 30.
  struct Case {
    const char* sides;
    UpdateRect cut;
    Rects parts;
  };
  const Case kCases[] = {
      {"covering", {0, 0, 40, 40}, {}},
      {"left top right bottom", {15, 15, 10, 10}, {{10, 10, 20, 5}, {10, 15, 5, 15}, {25, 15, 5, 15}, {15, 25, 10, 5}}},
      {"left top bottom", {15, 15, 20, 10}, {{10, 10, 20, 5}, {10, 15, 5, 15}, {15, 25, 15, 5}}},
      {"left top right", {15, 15, 10, 20}, {{10, 10, 20, 5}, {10, 15, 5, 15}, {25, 15, 5, 15}}},
      {"left top", {15, 15, 20, 20}, {{10, 10, 5, 20}, {15, 10, 15, 5}}},
      {"left right bottom", {15, 5, 10, 20}, {{10, 10, 5, 20}, {15, 25, 10, 5}, {25, 10, 5, 20}}},
      {"left bottom", {15, 5, 20, 20}, {{10, 10, 5, 20}, {15, 25, 15, 5}}},
      {"left right", {15, 5, 10, 30}, {{10, 10, 5, 20}, {25, 10, 5, 20}}},
      {"left", {15, 5, 20, 30}, {{10, 10, 5, 20}}},
      {"top right bottom", {5, 15, 20, 10}, {{10, 10, 20, 5}, {10, 25, 20, 5}, {25, 15, 5, 10}}},
      {"top right", {5, 15, 20, 20}, {{10, 10, 20, 5}, {25, 15, 5, 15}}},
      {"top bottom", {5, 15, 30, 10}, {{10, 10, 20, 5}, {10, 25, 20, 5}}},
      {"top", {5, 15, 30, 20}, {{10, 10, 20, 5}}},
      {"right bottom", {5, 5, 20, 20}, {{10, 25, 20, 5}, {25, 10, 5, 15}}},
      {"right", {5, 5, 20, 30}, {{25, 10, 5, 20}}},
      {"bottom", {5, 5, 30, 20}, {{10, 25, 20, 5}}},
      {"apart", {40, 40, 5, 5}, {{10, 10, 20, 20}}},
      {"touching the right edge", {30, 10, 5, 5}, {{10, 10, 20, 20}}},
  };
  DisplaySurface* s = Surface(64, 64);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.sides);
    Set(s, {{10, 10, 20, 20}});
    SubtractUpdateRect(s, c.cut.x, c.cut.y, c.cut.width, c.cut.height, false);
    EXPECT_EQ(Text(Get(s)), Text(c.parts));
  }
}

TEST_F(DisplayLists, SubtractionStopsAtTheLimitAndSkipsExcludedSurfaces) {
  SetLimits(0, 3, 1);
  DisplaySurface* s = Surface(64, 64);
  Set(s, {{10, 10, 20, 20}});
  SubtractUpdateRect(s, 15, 15, 10, 10, false);  // four parts, room for three
  EXPECT_EQ(Text(Get(s)), Text({{10, 10, 20, 5}, {10, 15, 5, 15}, {25, 15, 5, 15}}));

  // A surface whose own array is smaller than the result redraws whole instead of losing parts.
  SetLimits(0, 100, 1);
  DisplaySurface* tight = Surface(64, 64);
  MemFree(tight->updateRects, tight->updateBytes, 0);
  tight->updateBytes = 2 * sizeof(UpdateRect);
  tight->updateRects = static_cast<UpdateRect*>(MemAlloc(tight->updateBytes, 0));
  Set(tight, {{10, 10, 20, 20}});
  SubtractUpdateRect(tight, 15, 15, 10, 10, false);
  EXPECT_EQ(tight->updateCount, kUpdateCountInvalid);

  DisplaySurface* small = Surface(64, 64, kSurfaceChunky | kSurfaceSmall);
  Set(small, {{10, 10, 20, 20}});
  SubtractUpdateRect(small, 0, 0, 64, 64, false);
  EXPECT_EQ(small->updateCount, 1);
}

TEST_F(DisplayLists, SaturatedListRebuildsIntoTheVisibleAreaOutsideTheCut) {
  SetLimits(0, 4, 1);
  DisplaySurface* root = Surface(100, 100);
  DisplaySurface* s = Surface(40, 30);
  DisplayListCreate(root, nullptr, 0, 100, 100);
  DisplayListCreate(s, root->displayList, 0, 40, 30);
  s->updateCount = kUpdateCountInvalid;
  SubtractUpdateRect(s, 10, 10, 20, 10, false);
  EXPECT_EQ(Text(Get(s)), Text({{0, 0, 10, 30}, {10, 0, 30, 10}, {30, 10, 10, 20}, {10, 20, 20, 10}}));
}

TEST_F(DisplayLists, SubtractionRecursesIntoTheChildrenUnderTheCut) {
  DisplaySurface* parent = Surface(64, 64);
  DisplaySurface* child = Surface(10, 10);
  DisplayListCreate(parent, nullptr, 0, 64, 64);
  Child(child, parent->displayList, 5, 5, 10, 10);
  Set(child, {{0, 0, 10, 10}});
  SubtractUpdateRect(parent, 0, 0, 10, 10, true);  // covers the child's top-left 5 x 5
  EXPECT_EQ(Text(Get(child)), Text({{0, 5, 10, 5}, {5, 0, 5, 5}}));
  SubtractUpdateRect(parent, 0, 0, 64, 64, false);
  EXPECT_EQ(child->updateCount, 2) << "without recursion the children keep their rectangles";
}

TEST_F(DisplayLists, InversionGivesTheComplement) {
  DisplaySurface* s = Surface(40, 30);
  Set(s, {{10, 10, 20, 10}});
  InvertUpdateRects(s);
  EXPECT_EQ(Text(Get(s)), Text({{0, 0, 40, 10}, {0, 10, 10, 20}, {30, 10, 10, 20}, {10, 20, 20, 10}}));
  Set(s, {});
  InvertUpdateRects(s);
  EXPECT_EQ(Text(Get(s)), Text({{0, 0, 40, 30}}));
  s->updateCount = 100;
  InvertUpdateRects(s);
  EXPECT_EQ(s->updateCount, 0) << "a saturated list inverts to nothing";
}

TEST_F(DisplayLists, SortingOrdersByRowThenColumnKeepingEqualKeysInOrder) {
  DisplaySurface* s = Surface(64, 64);
  Set(s, {{30, 5, 1, 1}, {10, 0, 2, 2}, {0, 5, 3, 3}, {30, 5, 4, 4}, {5, 0, 5, 5}});
  SortUpdateRects(s);
  EXPECT_EQ(Text(Get(s)), Text({{5, 0, 5, 5}, {10, 0, 2, 2}, {0, 5, 3, 3}, {30, 5, 1, 1}, {30, 5, 4, 4}}));
}

TEST_F(DisplayLists, MergingJoinsBandsAndColumns) {
  struct Case {
    const char* name;
    uint32_t flags;
    Rects before;
    Rects after;
  };
  const Case kCases[] = {
      {"side by side", kDisplayMerge, {{0, 0, 10, 5}, {10, 0, 10, 5}}, {{0, 0, 20, 5}}},
      {"right one first", kDisplayMerge, {{10, 0, 10, 5}, {0, 0, 10, 5}}, {{0, 0, 20, 5}}},
      {"stacked", kDisplayMerge, {{0, 0, 10, 5}, {0, 5, 10, 5}}, {{0, 0, 10, 10}}},
      {"band then row below", kDisplayMerge, {{0, 0, 10, 5}, {10, 0, 10, 5}, {0, 5, 20, 5}}, {{0, 0, 20, 10}}},
      {"gap of one column", kDisplayMerge, {{0, 0, 10, 5}, {11, 0, 10, 5}}, {{0, 0, 10, 5}, {11, 0, 10, 5}}},
      {"different heights", kDisplayMerge, {{0, 0, 10, 5}, {10, 0, 10, 6}}, {{0, 0, 10, 5}, {10, 0, 10, 6}}},
      {"merge pass off", 0, {{0, 0, 10, 5}, {10, 0, 10, 5}}, {{0, 0, 10, 5}, {10, 0, 10, 5}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SetLimits(c.flags, 100, 400);
    DisplaySurface* s = Surface(64, 64);
    Set(s, c.before);
    MergeUpdateRects(s);
    EXPECT_EQ(Text(Get(s)), Text(c.after));
  }
}

TEST_F(DisplayLists, CreationNamesTypesAndDrawRoutines) {
  DisplaySurface* root = Surface(64, 64);
  DisplaySurface* named = Surface(8, 8);
  named->name = "Radar";
  DisplaySurface* small = Surface(8, 8, kSurfaceChunky | kSurfaceSmall);
  DisplaySurface* plain = Surface(8, 8);
  DisplaySurface* memoryOnly = Surface(8, 8, kSurfaceChunky | kSurfaceNoDevice);
  const DisplayList* top = DisplayListCreate(root, nullptr, 0, 64, 64);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->draw, &BlitBlockTo);
  EXPECT_EQ(top->priority, kDisplayListPriority);
  struct Case {
    DisplaySurface* surface;
    const char* name;
    uint16_t type;
    DisplayDrawRoutine draw;
  };
  const Case kCases[] = {{named, "Radar", kDisplayListChild, SurfaceDrawRoutine},
                         {small, "SMALL", kDisplayListChild, SurfaceDrawRoutine},
                         {plain, "NoName", kDisplayListChild, SurfaceDrawRoutine},
                         {memoryOnly, "NoName", kDisplayListClear, DisplayClearRoutine}};
  for (const Case& c : kCases) {
    const DisplayList* list = DisplayListCreate(c.surface, root->displayList, 4, 8, 8);
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->name, c.name);
    EXPECT_EQ(list->type, c.type);
    EXPECT_EQ(list->draw, c.draw);
    EXPECT_EQ(list->x, 4);
    EXPECT_EQ(list->y, 0);
    EXPECT_NE(list->markers, nullptr);
    EXPECT_EQ(c.surface->displayList, list);
  }
}

TEST_F(DisplayLists, SiblingsStayInDescendingPriority) {
  DisplaySurface* root = Surface(64, 64);
  DisplayListCreate(root, nullptr, 0, 64, 64);
  DisplayList* a = DisplayListCreate(Surface(8, 8), root->displayList, 0, 8, 8);
  a->priority = 20;
  DisplayList* c = DisplayListCreate(Surface(8, 8), root->displayList, 0, 8, 8);
  c->priority = 5;
  DisplayList* b = DisplayListCreate(Surface(8, 8), root->displayList, 0, 8, 8);
  // A new list (10) goes before the first sibling that is not above it.
  DisplayList* d = DisplayListCreate(Surface(8, 8), root->displayList, 0, 8, 8);
  const std::vector<const DisplayList*> expected = {a, d, b, c};
  EXPECT_EQ(Children(root->displayList), expected);
  EXPECT_EQ(root->displayList->children->sentinel.prev, c);
}

TEST_F(DisplayLists, RecreatingAListWithChildrenMovesTheirHead) {
  DisplaySurface* root = Surface(64, 64);
  DisplaySurface* middle = Surface(32, 32);
  DisplayListCreate(root, nullptr, 0, 64, 64);
  DisplayList* old = DisplayListCreate(middle, root->displayList, 0, 32, 32);
  DisplayList* c1 = DisplayListCreate(Surface(8, 8), old, 0, 8, 8);
  DisplayList* c2 = DisplayListCreate(Surface(8, 8), old, 8, 8, 8);
  DisplayListHead* head = old->children;

  DisplayList* again = DisplayListCreate(middle, root->displayList, 16, 32, 32);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(middle->displayList, again);
  EXPECT_EQ(again->children, head);
  EXPECT_EQ(c1->parent, again);
  EXPECT_EQ(c2->parent, again);
  EXPECT_EQ(again->x, 16);
  EXPECT_EQ(Children(root->displayList).size(), 1u) << "the list is linked once, not twice";

  // Without children the record is reused in place.
  DisplayList* leaf = c1;
  EXPECT_EQ(DisplayListCreate(c1->owner, again, 2, 8, 8), leaf);
  EXPECT_EQ(Children(again).size(), 2u);
}

TEST_F(DisplayLists, FreeingUnlinksAndDropsAnEmptyHead) {
  DisplaySurface* root = Surface(64, 64);
  DisplaySurface* child = Surface(8, 8);
  DisplaySurface* grandchild = Surface(4, 4);
  DisplayListCreate(root, nullptr, 0, 64, 64);
  DisplayList* list = DisplayListCreate(child, root->displayList, 0, 8, 8);
  DisplayList* inner = DisplayListCreate(grandchild, list, 0, 4, 4);
  DisplayListFree(child);
  EXPECT_EQ(child->displayList, nullptr);
  EXPECT_EQ(root->displayList->children, nullptr);
  EXPECT_EQ(inner->parent, nullptr);
}

TEST_F(DisplayLists, FlushClipsAChildToItsParentsRightAndBottomEdges) {
  DisplaySurface* root = Surface(64, 48);
  DisplaySurface* child = Surface(32, 32);
  DisplayListCreate(root, nullptr, 0, 64, 48);
  DisplayList* list = Child(child, root->displayList, 48, 32, 32, 32);
  child->updateCount = kUpdateCountInvalid;
  FlushDisplayList(list, 0, 0);
  ASSERT_EQ(gDraws.size(), 1u);
  const Draw& d = gDraws[0];
  EXPECT_EQ(d.owner, child);
  EXPECT_EQ((std::vector<int32_t>{d.sx, d.sy, d.tx, d.ty, d.w, d.h}), (std::vector<int32_t>{0, 0, 48, 32, 16, 16}));
  EXPECT_EQ(child->updateCount, 0);
}

TEST_F(DisplayLists, InvalidatedSurfaceDrawsWholeOnceThenNothing) {
  DisplaySurface* root = Surface(64, 48);
  DisplaySurface* child = Surface(16, 16);
  DisplayListCreate(root, nullptr, 0, 64, 48);
  DisplayList* list = Child(child, root->displayList, 8, 8, 16, 16);
  DisplayObject display{0, nullptr, root};
  DisplayObject* savedDisplay = gDisplay;
  gDisplay = &display;
  InvalidateDisplayLists();
  gDisplay = savedDisplay;
  EXPECT_EQ(child->updateCount, kUpdateCountInvalid);
  OccludeDisplayLists(list);
  FlushDisplayList(list, 0, 0);
  ASSERT_EQ(gDraws.size(), 1u);
  EXPECT_EQ((std::vector<int32_t>{gDraws[0].sx, gDraws[0].sy, gDraws[0].tx, gDraws[0].ty, gDraws[0].w, gDraws[0].h}),
            (std::vector<int32_t>{0, 0, 8, 8, 16, 16}));
  EXPECT_EQ(child->updateCount, 0);
  FlushDisplayList(list, 0, 0);
  EXPECT_EQ(gDraws.size(), 1u);
}

TEST_F(DisplayLists, EarlierOfTwoOverlappingSiblingsNeverDrawsTheCoveredArea) {
  DisplaySurface* root = Surface(64, 64);
  DisplaySurface* first = Surface(32, 32);
  DisplaySurface* second = Surface(32, 32);
  DisplayListCreate(root, nullptr, 0, 64, 64);
  Child(first, root->displayList, 0, 0, 32, 32);
  Child(second, root->displayList, 16, 16, 32, 32);  // equal priority: linked before `first`
  DisplayList* head = root->displayList->children->first;
  ASSERT_EQ(head->owner, second);
  first->updateCount = second->updateCount = kUpdateCountInvalid;
  OccludeDisplayLists(head);
  FlushDisplayList(head, 0, 0);
  int32_t area = 0;
  for (const Draw& d : gDraws) {
    if (d.owner != second) continue;
    area += d.w * d.h;
    const bool overlaps = d.tx < 32 && d.ty < 32 && d.tx + d.w > 16 && d.ty + d.h > 16;
    EXPECT_FALSE(overlaps) << d.tx << "," << d.ty << " " << d.w << "x" << d.h;
  }
  EXPECT_EQ(area, 32 * 32 - 16 * 16);
  int32_t later = 0;
  for (const Draw& d : gDraws)
    if (d.owner == first) later += d.w * d.h;
  EXPECT_EQ(later, 32 * 32);
}

TEST_F(DisplayLists, RectanglesDrawAtTheirPlaceInTheTarget) {
  DisplaySurface* root = Surface(64, 64);
  DisplaySurface* child = Surface(32, 32);
  DisplayListCreate(root, nullptr, 0, 64, 64);
  DisplayList* list = Child(child, root->displayList, 10, 20, 32, 32);
  Set(child, {{4, 6, 2, 3}});
  FlushDisplayList(list, 1, 2);
  ASSERT_EQ(gDraws.size(), 1u);
  EXPECT_EQ((std::vector<int32_t>{gDraws[0].sx, gDraws[0].sy, gDraws[0].tx, gDraws[0].ty, gDraws[0].w, gDraws[0].h}),
            (std::vector<int32_t>{4, 6, 15, 28, 2, 3}));
}

}  // namespace
