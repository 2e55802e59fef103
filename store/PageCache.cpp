#include "PageCache.h"

#include <algorithm>

namespace store {

std::size_t TPageCache::IndexOf(std::int32_t number) const {
  auto it = std::lower_bound(Pages.begin(), Pages.end(), number,
                             [](const std::unique_ptr<TPage>& p, std::int32_t n) { return p->Number < n; });
  return static_cast<std::size_t>(it - Pages.begin());
}

TPage* TPageCache::Find(std::int32_t number) {
  TPage* found = nullptr;
  // The two most recent pages first, then the binary search.
  if (Mru.Head && Mru.Head->Number == number) found = Mru.Head;
  else if (Mru.Head && Mru.Head->MruNext && Mru.Head->MruNext->Number == number) found = Mru.Head->MruNext;
  if (!found) {
    std::size_t at = IndexOf(number);
    if (at < Pages.size() && Pages[at]->Number == number) found = Pages[at].get();
  }
  if (found && found != Mru.Head) {
    Mru.Unlink(*found);
    Mru.PushFront(*found);
  }
  return found;
}

namespace {
// Interior pages are few and on every path from the root: they are the last
// to go.
bool Evictable(const TPage& page, bool interiorToo) {
  return !page.Dirty && page.PinCount == 0 && (interiorToo || page.Free || page.IsLeaf());
}
}  // namespace

std::size_t TPageCache::LeafCount() const {
  std::size_t leaves = 0;
  for (const auto& p : Pages)
    if (p->Free || p->IsLeaf()) ++leaves;
  return leaves;
}

bool TPageCache::MakeRoom() {
  // The capacity counts leaves (and free pages): interior pages come on top.
  if (LeafCount() < Capacity) return true;
  for (const bool interiorToo : {false, true}) {
    for (TPage* p = Mru.Tail; p; p = p->MruPrev) {
      if (Evictable(*p, interiorToo)) {
        Remove(*p);
        return true;
      }
    }
  }
  return false;
}

TPage& TPageCache::Add(std::int32_t number, const TPageLayout& layout) {
  std::unique_ptr<TPage> page;
  if (!Pool.empty()) {
    page = std::move(Pool.back());
    Pool.pop_back();
  } else {
    page = std::make_unique<TPage>();
  }
  page->Reset(number, layout);
  TPage* raw = page.get();
  Pages.insert(Pages.begin() + static_cast<std::ptrdiff_t>(IndexOf(number)), std::move(page));
  Mru.PushFront(*raw);
  return *raw;
}

void TPageCache::Remove(TPage& page) {
  Mru.Unlink(page);
  std::size_t at = IndexOf(page.Number);
  if (at < Pages.size() && Pages[at].get() == &page) {
    Pool.push_back(std::move(Pages[at]));
    Pages.erase(Pages.begin() + static_cast<std::ptrdiff_t>(at));
  }
}

void TPageCache::DropUnpinned() {
  std::vector<TPage*> drop;
  for (auto& p : Pages)
    if (p->PinCount == 0) drop.push_back(p.get());
  for (TPage* p : drop) Remove(*p);
}

void TPageCache::Trim(std::size_t capacity) {
  std::size_t leaves = LeafCount();
  for (TPage* p = Mru.Tail; p && leaves > capacity;) {
    TPage* previous = p->MruPrev;
    if (Evictable(*p, false)) {
      Remove(*p);
      --leaves;
    }
    p = previous;
  }
  Capacity = std::max(capacity, leaves);
}

}  // namespace store
