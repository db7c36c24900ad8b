// The intrusive doubly linked list every container of the scene engine uses. A record that lives
// in a list begins with a ListNode; the list's head doubles as both sentinels: seen as a node at
// its own address it is the node before the first, and its always-null `tail` word seen as a node
// is the node after the last. So a walk needs no end test but a null successor, and no operation
// ever branches on an empty list. Record-only header: the renderer includes it.
//
// Lists are read and written only through the inline operations here, which view the head's
// words as nodes; nothing else touches `first`, `tail` or `last` directly.
#pragma once

struct ListNode {
  ListNode* succ;
  ListNode* pred;
};

struct ListHead {
  ListNode* first;
  ListNode* tail;  // always null
  ListNode* last;
};

// The head seen as the node before the first, and its tail word seen as the node after the last.
inline ListNode* ListHeadNode(ListHead* list) { return reinterpret_cast<ListNode*>(list); }
inline ListNode* ListTailNode(ListHead* list) { return reinterpret_cast<ListNode*>(&list->tail); }
inline const ListNode* ListTailNode(const ListHead* list) { return reinterpret_cast<const ListNode*>(&list->tail); }

inline void ListInit(ListHead* list) {
  ListHeadNode(list)->succ = ListTailNode(list);
  ListHeadNode(list)->pred = nullptr;
  ListTailNode(list)->pred = ListHeadNode(list);
}

inline bool ListIsEmpty(const ListHead* list) {
  return reinterpret_cast<const ListNode*>(list)->succ == ListTailNode(list);
}

// The first and last real nodes, or null for an empty list.
inline ListNode* ListFirst(ListHead* list) { return ListIsEmpty(list) ? nullptr : ListHeadNode(list)->succ; }
inline ListNode* ListLast(ListHead* list) { return ListIsEmpty(list) ? nullptr : ListTailNode(list)->pred; }

// The node after `node`, or null when `node` is the last real one.
inline ListNode* ListNext(const ListNode* node) { return node->succ->succ ? node->succ : nullptr; }

inline void ListAddTail(ListHead* list, ListNode* node) {
  ListNode* tail = ListTailNode(list);
  node->pred = tail->pred;
  tail->pred->succ = node;
  node->succ = tail;
  tail->pred = node;
}

inline void ListAddHead(ListHead* list, ListNode* node) {
  ListNode* head = ListHeadNode(list);
  node->succ = head->succ;
  head->succ->pred = node;
  node->pred = head;
  head->succ = node;
}

inline void ListRemove(ListNode* node) {
  node->pred->succ = node->succ;
  node->succ->pred = node->pred;
}

// Moves every node of `from` onto the end of `to` in one step; `from` is left empty.
inline void ListAppendList(ListHead* to, ListHead* from) {
  if (ListIsEmpty(from)) return;
  ListNode* first = ListHeadNode(from)->succ;
  ListNode* last = ListTailNode(from)->pred;
  ListNode* toTail = ListTailNode(to);
  first->pred = toTail->pred;
  toTail->pred->succ = first;
  last->succ = toTail;
  toTail->pred = last;
  ListInit(from);
}

// Walks the real nodes in order; the body may unlink the node it stands on, as the successor is
// read before the body runs.
#define LIST_FOR_EACH_SAFE(node, next, list) \
  for (ListNode* node = ListHeadNode(list)->succ, *next = node->succ; next != nullptr; node = next, next = node->succ)

// The record a node begins; every listed record starts with its ListNode.
template <typename Record>
inline Record* ListRecord(ListNode* node) {
  return reinterpret_cast<Record*>(node);
}
