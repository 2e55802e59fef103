#include "PageCache.h"

#include <algorithm>

namespace store {

std::size_t TPageCache::IndexOf(std::int32_t number) const {
  auto it = std::lower_bound(Pages.begin(), Pages.end(), number,
                             [](const std::unique_ptr<TPage>& p, std::int32_t n) { return p->Number < n; });
  return static_cast<std::size_t>(it - Pages.begin());
}

void TPageCache::Unlink(TPage& page) {
  if (page.MruPrev) page.MruPrev->MruNext = page.MruNext;
  else MruHead = page.MruNext;
  if (page.MruNext) page.MruNext->MruPrev = page.MruPrev;
  else MruTail = page.MruPrev;
  page.MruPrev = page.MruNext = nullptr;
}

void TPageCache::PushFront(TPage& page) {
  page.MruPrev = nullptr;
  page.MruNext = MruHead;
  if (MruHead) MruHead->MruPrev = &page;
  MruHead = &page;
  if (!MruTail) MruTail = &page;
}

TPage* TPageCache::Find(std::int32_t number) {
  TPage* found = nullptr;
  // The two most recent pages first, then the binary search.
  if (MruHead && MruHead->Number == number) found = MruHead;
  else if (MruHead && MruHead->MruNext && MruHead->MruNext->Number == number) found = MruHead->MruNext;
  if (!found) {
    std::size_t at = IndexOf(number);
    if (at < Pages.size() && Pages[at]->Number == number) found = Pages[at].get();
  }
  if (found && found != MruHead) {
    Unlink(*found);
    PushFront(*found);
  }
  return found;
}

bool TPageCache::MakeRoom() {
  if (Pages.size() < Capacity) return true;
  for (TPage* p = MruTail; p; p = p->MruPrev) {
    if (!p->Dirty && p->PinCount == 0) {
      Remove(*p);
      return true;
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
  PushFront(*raw);
  return *raw;
}

void TPageCache::Remove(TPage& page) {
  Unlink(page);
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
  for (TPage* p = MruTail; p && Pages.size() > capacity;) {
    TPage* previous = p->MruPrev;
    if (!p->Dirty && p->PinCount == 0) Remove(*p);
    p = previous;
  }
  Capacity = std::max(capacity, Pages.size());
}

}  // namespace store
