// A holder of owned records is emptied: every record destroyed once, nulls skipped, storage and
// name released, and a second call harmless.
#include "scene/owned_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Record {
  int* destroyed;
};

struct Holder {
  short word = 3;
  std::string name;
  std::vector<Record*> items;
};

TEST(OwnedList, DestroysEveryRecordAndEmptiesTheHolder) {
  int destroyed = 0;
  Holder holder;
  holder.name = "glass_effect";
  holder.items = {new Record{&destroyed}, nullptr, new Record{&destroyed}};
  const auto destroy = [](Record* record) {
    ++*record->destroyed;
    delete record;
  };
  DestroyOwnedList(&holder, destroy);
  EXPECT_EQ(destroyed, 2);
  EXPECT_TRUE(holder.items.empty());
  EXPECT_EQ(holder.items.capacity(), 0u);
  EXPECT_EQ(holder.name, "");
  EXPECT_EQ(holder.word, 3);

  DestroyOwnedList(&holder, destroy);
  DestroyOwnedList(static_cast<Holder*>(nullptr), destroy);
  EXPECT_EQ(destroyed, 2);
}

}  // namespace
