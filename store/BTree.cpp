#include "BTree.h"

#include "StoreError.h"

namespace store {

TIndexTree::TIndexTree(TIndexFile& file, int slot) : File(file), Slot(slot), Def(file.KeyDef(slot)) {}

void TIndexTree::Corrupt() const { RaiseStoreError(STORE_INDEXCORRUPT, File.TableName()); }

TPageRef TIndexTree::Fetch(std::int32_t number, std::size_t depth, bool mayBeEmpty) {
  if (depth >= MaxTreeDepth) Corrupt();
  TPageRef page(File, File.GetPage(Slot, number));
  const bool rootType = page->Type == ptRootInterior || page->Type == ptRootLeaf;
  if (page->Free || (page->Count() == 0 && !mayBeEmpty) || page->Type > ptRootLeaf || rootType != (depth == 0)) Corrupt();
  return page;
}

TPageRef TIndexTree::FetchSibling(std::int32_t number) {
  TPageRef page(File, File.GetPage(Slot, number));
  if (page->Free || page->IsRoot() || page->Type > ptRootLeaf) Corrupt();
  return page;
}

std::size_t TIndexTree::UpperBound(const TPage& page, TConstBytes key) const {
  std::size_t lo = 0, hi = page.Count();
  while (lo < hi) {
    std::size_t mid = (lo + hi) / 2;
    if (Def.Compare(page.Key(mid), key) <= 0) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

std::size_t TIndexTree::LowerBound(const TPage& page, TConstBytes key) const {
  std::size_t lo = 0, hi = page.Count();
  while (lo < hi) {
    std::size_t mid = (lo + hi) / 2;
    if (Def.Compare(page.Key(mid), key) < 0) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

bool TIndexTree::Overflows(const TPage& page) const {
  if (page.Compressed()) return !page.Fits();
  return page.Count() > page.Capacity();
}

std::int32_t TIndexTree::CountOf(const TPage& page) const {
  if (!Def.HasCounts()) return 0;
  std::int64_t n = page.SubtreeCount();
  if (n > INT32_MAX) Corrupt();
  return static_cast<std::int32_t>(n);
}

bool TIndexTree::Descend(TConstBytes key, bool lower, TTreePath& path) {
  path.clear();
  std::int32_t number = File.Header().Desc(Slot).Root();
  if (number == 0) return false;
  while (true) {
    TPageRef page = Fetch(number, path.size());
    std::size_t bound = lower ? LowerBound(*page, key) : UpperBound(*page, key);
    if (page->IsLeaf()) {
      path.push_back({number, bound});
      return true;
    }
    std::size_t pos = bound == 0 ? 0 : bound - 1;
    path.push_back({number, pos});
    number = page->Ref(pos);
  }
}

void TIndexTree::PropagateFirstKey(const TTreePath& path, std::size_t level, TConstBytes key) {
  for (std::size_t l = level; l > 0 && path[l].Position == 0; --l) {
    TPageRef parent = Fetch(path[l - 1].Page, l - 1);
    parent->SetKey(path[l - 1].Position, key);
    File.MarkPageDirty(*parent);
  }
}

void TIndexTree::Insert(TConstBytes key, std::int32_t ref) {
  if (key.size() < Def.KeyLength()) Corrupt();
  TIndexDesc desc = File.Header().Desc(Slot);
  if (desc.Root() == 0) {
    TPageRef root(File, File.NewPage(Slot, ptRootLeaf));
    root->Insert(0, key, ref, 0);
    desc.SetRoot(root->Number);
    File.MarkHeaderDirty();
    return;
  }
  TTreePath path;
  Descend(key, false, path);
  const std::size_t leafLevel = path.size() - 1;
  {
    TPageRef leaf = Fetch(path[leafLevel].Page, leafLevel);
    leaf->Insert(path[leafLevel].Position, key, ref, 0);
    File.MarkPageDirty(*leaf);
  }
  if (Def.HasCounts()) {
    for (std::size_t l = 0; l < leafLevel; ++l) {
      TPageRef page = Fetch(path[l].Page, l);
      page->SetKeyCount(path[l].Position, page->KeyCount(path[l].Position) + 1);
      File.MarkPageDirty(*page);
    }
  }
  if (path[leafLevel].Position == 0) PropagateFirstKey(path, leafLevel, key);
  SplitUpwards(path, leafLevel);
}

void TIndexTree::SplitUpwards(TTreePath& path, std::size_t level) {
  while (true) {
    TPageRef page = Fetch(path[level].Page, level);
    if (!Overflows(*page)) return;
    const bool leaf = page->IsLeaf();
    TPageRef right(File, File.NewPage(Slot, leaf ? ptLeaf : ptInterior));
    const std::size_t n = page->Count();
    page->MoveTailTo(*right, n - n / 2);
    const bool wasRoot = level == 0;
    page->Type = leaf ? ptLeaf : ptInterior;
    right->Type = page->Type;
    if (page->Compressed()) {
      // Entries move across the split one at a time until both halves encode
      // within the page.
      while (!page->Fits() && page->Count() > 1) page->MoveTailTo(*right, page->Count() - 1);
      while (!right->Fits() && right->Count() > 1) right->MoveHeadTo(*page, 1);
      if (!page->Fits() || !right->Fits()) Corrupt();
    }
    right->Previous = page->Number;
    right->Next = page->Next;
    if (page->Next != 0) {
      TPageRef next = FetchSibling(page->Next);
      next->Previous = right->Number;
      File.MarkPageDirty(*next);
    }
    page->Next = right->Number;
    File.MarkPageDirty(*page);
    File.MarkPageDirty(*right);
    if (wasRoot) {
      TPageRef root(File, File.NewPage(Slot, ptRootInterior));
      root->Insert(0, page->Key(0), page->Number, CountOf(*page));
      root->Insert(1, right->Key(0), right->Number, CountOf(*right));
      File.Header().Desc(Slot).SetRoot(root->Number);
      File.MarkHeaderDirty();
      return;
    }
    TPageRef parent = Fetch(path[level - 1].Page, level - 1);
    const std::size_t pos = path[level - 1].Position;
    parent->SetKeyCount(pos, CountOf(*page));
    parent->Insert(pos + 1, right->Key(0), right->Number, CountOf(*right));
    File.MarkPageDirty(*parent);
    --level;
  }
}

bool TIndexTree::Locate(TConstBytes key, std::int32_t ref, TTreePath& path) {
  if (!Descend(key, true, path)) return false;
  {
    TPageRef leaf = Fetch(path.back().Page, path.size() - 1);
    if (path.back().Position >= leaf->Count()) {
      path.back().Position = leaf->Count() - 1;
      if (!Next(path)) return false;
    }
  }
  while (true) {
    TPageRef leaf = Fetch(path.back().Page, path.size() - 1);
    const std::size_t pos = path.back().Position;
    if (Def.Compare(leaf->Key(pos), key) != 0) return false;
    if (leaf->Ref(pos) == ref) return true;
    if (!Next(path)) return false;
  }
}

void TIndexTree::Delete(TConstBytes key, std::int32_t ref) {
  if (key.size() < Def.KeyLength()) Corrupt();
  TTreePath path;
  if (!Locate(key, ref, path)) Corrupt();
  const std::size_t leafLevel = path.size() - 1;
  if (Def.HasCounts()) {
    for (std::size_t l = 0; l < leafLevel; ++l) {
      TPageRef page = Fetch(path[l].Page, l);
      if (page->KeyCount(path[l].Position) < 1) Corrupt();
      page->SetKeyCount(path[l].Position, page->KeyCount(path[l].Position) - 1);
      File.MarkPageDirty(*page);
    }
  }
  {
    TPageRef leaf = Fetch(path[leafLevel].Page, leafLevel);
    leaf->Erase(path[leafLevel].Position);
    File.MarkPageDirty(*leaf);
  }
  FixAfterRemoval(path, leafLevel);
}

void TIndexTree::Replace(TConstBytes oldKey, std::int32_t oldRef, TConstBytes newKey, std::int32_t newRef) {
  Delete(oldKey, oldRef);
  Insert(newKey, newRef);
}

void TIndexTree::Unlink(TPage& page) {
  if (page.Previous != 0) {
    TPageRef previous = FetchSibling(page.Previous);
    previous->Next = page.Next;
    File.MarkPageDirty(*previous);
  }
  if (page.Next != 0) {
    TPageRef next = FetchSibling(page.Next);
    next->Previous = page.Previous;
    File.MarkPageDirty(*next);
  }
}

void TIndexTree::ShrinkRoot() {
  TIndexDesc desc = File.Header().Desc(Slot);
  while (desc.Root() != 0) {
    TPageRef root = Fetch(desc.Root(), 0);
    if (root->IsLeaf() || root->Count() != 1) return;
    const std::int32_t child = root->Ref(0);
    File.FreePage(*root);
    desc.SetRoot(child);
    File.MarkHeaderDirty();
    TPageRef top = FetchSibling(child);
    top->Type = top->IsLeaf() ? ptRootLeaf : ptRootInterior;
    top->Previous = 0;
    top->Next = 0;
    File.MarkPageDirty(*top);
  }
}

void TIndexTree::FixAfterRemoval(TTreePath& path, std::size_t level) {
  while (true) {
    TPageRef page = Fetch(path[level].Page, level, true);
    if (level == 0) {
      if (page->Count() == 0) {
        File.FreePage(*page);
        File.Header().Desc(Slot).SetRoot(0);
        File.MarkHeaderDirty();
        return;
      }
      break;
    }
    if (page->Count() > 0 && path[level].Position == 0) PropagateFirstKey(path, level, page->Key(0));
    TPageRef parent = Fetch(path[level - 1].Page, level - 1);
    const std::size_t ppos = path[level - 1].Position;
    auto dropPage = [&] {
      Unlink(*page);
      File.FreePage(*page);
      parent->Erase(ppos);
      File.MarkPageDirty(*parent);
    };
    if (page->Compressed()) {
      if (page->Count() != 0) return;
      dropPage();
      --level;
      continue;
    }
    const std::size_t capacity = page->Capacity();
    if (page->Count() >= capacity / 2) return;
    if (parent->Count() == 1) {
      if (page->Count() != 0) return;
      dropPage();
      --level;
      continue;
    }
    const bool withLeft = ppos > 0;
    const std::size_t siblingPos = withLeft ? ppos - 1 : ppos + 1;
    TPageRef sibling = FetchSibling(parent->Ref(siblingPos));
    if (sibling->IsLeaf() != page->IsLeaf()) Corrupt();
    const std::size_t total = page->Count() + sibling->Count();
    if (total < capacity) {
      if (withLeft) {
        page->MoveHeadTo(*sibling, page->Count());
        parent->SetKeyCount(siblingPos, CountOf(*sibling));
      } else {
        page->MoveTailTo(*sibling, 0);
        parent->SetKeyCount(siblingPos, CountOf(*sibling));
        parent->SetKey(siblingPos, sibling->Key(0));
      }
      File.MarkPageDirty(*sibling);
      dropPage();
      --level;
      continue;
    }
    TPage& left = withLeft ? *sibling : *page;
    TPage& right = withLeft ? *page : *sibling;
    const std::size_t leftPos = withLeft ? ppos - 1 : ppos;
    const std::size_t want = withLeft ? (total + 1) / 2 : total / 2;
    if (left.Count() > want) left.MoveTailTo(right, want);
    else if (left.Count() < want) right.MoveHeadTo(left, want - left.Count());
    parent->SetKeyCount(leftPos, CountOf(left));
    parent->SetKeyCount(leftPos + 1, CountOf(right));
    parent->SetKey(leftPos, left.Key(0));
    parent->SetKey(leftPos + 1, right.Key(0));
    File.MarkPageDirty(left);
    File.MarkPageDirty(right);
    File.MarkPageDirty(*parent);
    if (leftPos == 0) {
      path[level - 1].Position = 0;
      PropagateFirstKey(path, level - 1, left.Key(0));
    }
    return;
  }
  ShrinkRoot();
}

void TIndexTree::RequireAbsent(TConstBytes key) {
  TTreePath path;
  if (Find(key, path))
    RaiseStoreError(STORE_KEYVIOL, File.TableName(), File.IndexDisplayName(Slot), {});
}

bool TIndexTree::Find(TConstBytes key, TTreePath& path) {
  if (!Seek(key, path)) return false;
  return Def.Compare(KeyAt(path), key) == 0;
}

bool TIndexTree::Seek(TConstBytes key, TTreePath& path) {
  if (!Descend(key, true, path)) return false;
  TPageRef leaf = Fetch(path.back().Page, path.size() - 1);
  if (path.back().Position < leaf->Count()) return true;
  path.back().Position = leaf->Count() - 1;
  return Next(path);
}

bool TIndexTree::First(TTreePath& path) {
  path.clear();
  std::int32_t number = File.Header().Desc(Slot).Root();
  if (number == 0) return false;
  while (true) {
    TPageRef page = Fetch(number, path.size());
    path.push_back({number, 0});
    if (page->IsLeaf()) return true;
    number = page->Ref(0);
  }
}

bool TIndexTree::Last(TTreePath& path) {
  path.clear();
  std::int32_t number = File.Header().Desc(Slot).Root();
  if (number == 0) return false;
  while (true) {
    TPageRef page = Fetch(number, path.size());
    path.push_back({number, page->Count() - 1});
    if (page->IsLeaf()) return true;
    number = page->Ref(page->Count() - 1);
  }
}

bool TIndexTree::Next(TTreePath& path) {
  if (path.empty()) return false;
  std::size_t level = path.size() - 1;
  while (true) {
    TPageRef page = Fetch(path[level].Page, level);
    if (path[level].Position + 1 < page->Count()) {
      ++path[level].Position;
      break;
    }
    if (level == 0) return false;
    --level;
  }
  DescendToEdge(path, level, false);
  return true;
}

bool TIndexTree::Prior(TTreePath& path) {
  if (path.empty()) return false;
  std::size_t level = path.size() - 1;
  while (true) {
    if (path[level].Position > 0) {
      --path[level].Position;
      break;
    }
    if (level == 0) return false;
    --level;
  }
  DescendToEdge(path, level, true);
  return true;
}

void TIndexTree::DescendToEdge(TTreePath& path, std::size_t level, bool toLast) {
  for (; level + 1 < path.size(); ++level) {
    TPageRef page = Fetch(path[level].Page, level);
    const std::int32_t child = page->Ref(path[level].Position);
    TPageRef below = Fetch(child, level + 1);
    if (below->IsLeaf() != (level + 1 == path.size() - 1)) Corrupt();
    path[level + 1] = {child, toLast ? below->Count() - 1 : 0};
  }
}

TConstBytes TIndexTree::KeyAt(const TTreePath& path) {
  TPageRef leaf = Fetch(path.back().Page, path.size() - 1);
  if (path.back().Position >= leaf->Count()) Corrupt();
  return leaf->Key(path.back().Position);
}

std::int32_t TIndexTree::RefAt(const TTreePath& path) {
  TPageRef leaf = Fetch(path.back().Page, path.size() - 1);
  if (path.back().Position >= leaf->Count()) Corrupt();
  return leaf->Ref(path.back().Position);
}

std::int64_t TIndexTree::Ordinal(const TTreePath& path) {
  if (!Def.HasCounts()) {
    TTreePath walk;
    std::int64_t n = 0;
    for (bool more = First(walk); more; more = Next(walk)) {
      ++n;
      if (walk.back().Page == path.back().Page && walk.back().Position == path.back().Position) return n;
    }
    return 0;
  }
  std::int64_t position = 0;
  for (std::size_t l = 0; l + 1 < path.size(); ++l) {
    TPageRef page = Fetch(path[l].Page, l);
    for (std::size_t i = 0; i < path[l].Position; ++i) position += page->KeyCount(i);
  }
  return position + static_cast<std::int64_t>(path.back().Position) + 1;
}

}  // namespace store
