// Taking apart a holder that owns a name and an array of record pointers (the effect parameter
// list of a body material, entries of the body cache), when body data is freed. The holder needs
// `name` (a std::string) and `items` (a std::vector of record pointers); `destroy` takes one
// record apart and frees it. Never touches a null element.
#pragma once

#include <utility>

template <typename Holder, typename Destroy>
void DestroyOwnedList(Holder* object, Destroy&& destroy) {
  if (!object) return;
  for (auto* item : object->items) {
    if (item) destroy(item);
  }
  // Swapping with an empty array gives its storage back; clear() alone would keep it.
  decltype(object->items)().swap(object->items);
  object->name.clear();
}
