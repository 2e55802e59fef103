#include "PageCache.h"

#include <algorithm>

namespace store {

std::size_t TPageCache::IndexOf(std::int32_t number) const {
  auto it = std::lower_bound(Pages.begin(), Pages.end(), number,
                             [](const std::unique_ptr<TPage>& p, std::int32_t n) { return p->Number < n; });
  return static_cast<std::size_t>(it - Pages.begin());
}

void TPageCache::Touch(TPage* page) {
  auto it = std::find(Recency.begin(), Recency.end(), page);
  if (it == Recency.begin()) return;
  if (it != Recency.end()) Recency.erase(it);
  Recency.insert(Recency.begin(), page);
}

TPage* TPageCache::Find(std::int32_t number) {
  for (std::size_t i = 0; i < 2 && i < Recency.size(); ++i)
    if (Recency[i]->Number == number) {
      Touch(Recency[i]);
      return Recency.front();
    }
  std::size_t at = IndexOf(number);
  if (at < Pages.size() && Pages[at]->Number == number) {
    Touch(Pages[at].get());
    return Pages[at].get();
  }
  return nullptr;
}

bool TPageCache::MakeRoom() {
  if (Pages.size() < Capacity) return true;
  for (auto it = Recency.rbegin(); it != Recency.rend(); ++it) {
    if (!(*it)->Dirty && (*it)->PinCount == 0) {
      Remove(**it);
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
  Recency.insert(Recency.begin(), raw);
  return *raw;
}

void TPageCache::Remove(TPage& page) {
  Recency.erase(std::remove(Recency.begin(), Recency.end(), &page), Recency.end());
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
  std::vector<TPage*> order(Recency.rbegin(), Recency.rend());
  for (TPage* p : order) {
    if (Pages.size() <= capacity) break;
    if (!p->Dirty && p->PinCount == 0) Remove(*p);
  }
  Capacity = std::max(capacity, Pages.size());
}

}  // namespace store
