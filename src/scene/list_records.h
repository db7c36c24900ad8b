// The intrusive doubly linked list every container of the scene engine uses. A record that lives
// in a list begins with a ListNode; the list's head doubles as both sentinels: seen as a node at
// its own address it is the node before the first, and its always-null `tail` word seen as a node
// is the node after the last. So a walk needs no end test but a null successor, and no operation
// ever branches on an empty list. Record-only header: the renderer includes it.
//
// Lists are read and written only through the inline operations here, which view the head's
// words as nodes; nothing else touches `first`, `tail` or `last` directly. Every link word is
// read and written as the pointer word it is (NodeSucc, NodePred), never through a ListNode
// member of storage that is really a ListHead, so the compiler's aliasing rules hold.
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

// The two link words of a node, or of a head or tail word seen as a node.
inline ListNode*& NodeSucc(ListNode* node) { return reinterpret_cast<ListNode**>(node)[0]; }
inline ListNode*& NodePred(ListNode* node) { return reinterpret_cast<ListNode**>(node)[1]; }
inline ListNode* NodeSucc(const ListNode* node) { return reinterpret_cast<ListNode* const*>(node)[0]; }

// The head seen as the node before the first, and its tail word seen as the node after the last.
inline ListNode* ListHeadNode(ListHead* list) { return reinterpret_cast<ListNode*>(list); }
inline ListNode* ListTailNode(ListHead* list) { return reinterpret_cast<ListNode*>(&list->tail); }
inline const ListNode* ListTailNode(const ListHead* list) { return reinterpret_cast<const ListNode*>(&list->tail); }

inline void ListInit(ListHead* list) {
  NodeSucc(ListHeadNode(list)) = ListTailNode(list);
  NodePred(ListHeadNode(list)) = nullptr;
  NodePred(ListTailNode(list)) = ListHeadNode(list);
}

inline bool ListIsEmpty(const ListHead* list) {
  return NodeSucc(reinterpret_cast<const ListNode*>(list)) == ListTailNode(list);
}

// The first and last real nodes, or null for an empty list.
inline ListNode* ListFirst(ListHead* list) { return ListIsEmpty(list) ? nullptr : NodeSucc(ListHeadNode(list)); }
inline ListNode* ListLast(ListHead* list) { return ListIsEmpty(list) ? nullptr : NodePred(ListTailNode(list)); }

// The node after `node`, or null when `node` is the last real one.
inline ListNode* ListNext(const ListNode* node) { return NodeSucc(NodeSucc(node)) ? NodeSucc(node) : nullptr; }

inline void ListAddTail(ListHead* list, ListNode* node) {
  ListNode* tail = ListTailNode(list);
  NodePred(node) = NodePred(tail);
  NodeSucc(NodePred(tail)) = node;
  NodeSucc(node) = tail;
  NodePred(tail) = node;
}

inline void ListAddHead(ListHead* list, ListNode* node) {
  ListNode* head = ListHeadNode(list);
  NodeSucc(node) = NodeSucc(head);
  NodePred(NodeSucc(head)) = node;
  NodePred(node) = head;
  NodeSucc(head) = node;
}

inline void ListRemove(ListNode* node) {
  NodeSucc(NodePred(node)) = NodeSucc(node);
  NodePred(NodeSucc(node)) = NodePred(node);
}

// Moves every node of `from` onto the end of `to` in one step; `from` is left empty.
inline void ListAppendList(ListHead* to, ListHead* from) {
  if (ListIsEmpty(from)) return;
  ListNode* first = NodeSucc(ListHeadNode(from));
  ListNode* last = NodePred(ListTailNode(from));
  ListNode* toTail = ListTailNode(to);
  NodePred(first) = NodePred(toTail);
  NodeSucc(NodePred(toTail)) = first;
  NodeSucc(last) = toTail;
  NodePred(toTail) = last;
  ListInit(from);
}

// Walks the real nodes in order; the body may unlink the node it stands on, as the successor is
// read before the body runs.
#define LIST_FOR_EACH_SAFE(node, next, list) \
  for (ListNode* node = NodeSucc(ListHeadNode(list)), *next = NodeSucc(node); next != nullptr; \
       node = next, next = NodeSucc(node))

// The record a node begins; every listed record starts with its ListNode.
template <typename Record>
inline Record* ListRecord(ListNode* node) {
  return reinterpret_cast<Record*>(node);
}
