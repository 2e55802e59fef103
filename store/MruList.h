// The recency order of a cache: an intrusive doubly linked list through the
// items' own MruPrev and MruNext links, most recently used at the head.
#pragma once

namespace store {

template <class T>
struct TMruList {
  T* Head = nullptr;  // most recently used
  T* Tail = nullptr;  // least recently used

  void Unlink(T& item) {
    if (item.MruPrev) item.MruPrev->MruNext = item.MruNext;
    else Head = item.MruNext;
    if (item.MruNext) item.MruNext->MruPrev = item.MruPrev;
    else Tail = item.MruPrev;
    item.MruPrev = item.MruNext = nullptr;
  }

  void PushFront(T& item) {
    item.MruPrev = nullptr;
    item.MruNext = Head;
    if (Head) Head->MruPrev = &item;
    Head = &item;
    if (!Tail) Tail = &item;
  }
};

}  // namespace store
