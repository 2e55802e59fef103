#include "RangeLocks.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>

namespace store {
namespace {
constexpr std::uint64_t NoKey = ~std::uint64_t{0};

TLockMode Stronger(TLockMode a, TLockMode b) { return a > b ? a : b; }
}  // namespace

std::vector<std::uint64_t> TRangeLockSet::Boundaries(std::uint64_t start, std::uint64_t end) const {
  std::vector<std::uint64_t> points{start, end};
  for (const THold& h : HoldList) {
    if (h.Start > start && h.Start < end) points.push_back(h.Start);
    if (h.End > start && h.End < end) points.push_back(h.End);
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

TLockMode TRangeLockSet::ModeExcluding(std::uint64_t offset, std::uint64_t excludedKey) const {
  TLockMode mode = TLockMode::lmNone;
  for (const THold& h : HoldList)
    if (h.Key != excludedKey && offset >= h.Start && offset < h.End) mode = Stronger(mode, h.Mode);
  return mode;
}

TLockMode TRangeLockSet::ModeAt(std::uint64_t offset) const { return ModeExcluding(offset, NoKey); }

bool TRangeLockSet::Holds(std::uint64_t key) const {
  return std::any_of(HoldList.begin(), HoldList.end(), [key](const THold& h) { return h.Key == key; });
}

bool TRangeLockSet::Apply(std::uint64_t start, std::uint64_t end, TLockMode mode) const {
  struct flock request {};
  request.l_type = mode == TLockMode::lmWrite ? F_WRLCK : mode == TLockMode::lmRead ? F_RDLCK : F_UNLCK;
  request.l_whence = SEEK_SET;
  request.l_start = static_cast<off_t>(start);
  request.l_len = static_cast<off_t>(end - start);
  request.l_pid = 0;
  while (fcntl(Fd, F_OFD_SETLK, &request) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool TRangeLockSet::Acquire(std::uint64_t key, std::uint64_t start, std::uint64_t length, TLockMode mode) {
  if (Holds(key)) return true;
  if (length == 0 || mode == TLockMode::lmNone) return false;
  const std::uint64_t end = start + length;
  const std::vector<std::uint64_t> points = Boundaries(start, end);

  // Pieces whose strongest mode must rise; neighbours with the same target are
  // joined so that the usual case is a single atomic request.
  struct TPiece {
    std::uint64_t Start, End;
    TLockMode Before, After;
  };
  std::vector<TPiece> pieces;
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    TLockMode before = ModeAt(points[i]);
    TLockMode after = Stronger(before, mode);
    if (before == after) continue;
    if (!pieces.empty() && pieces.back().End == points[i] && pieces.back().After == after &&
        pieces.back().Before == before)
      pieces.back().End = points[i + 1];
    else
      pieces.push_back({points[i], points[i + 1], before, after});
  }
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (!Apply(pieces[i].Start, pieces[i].End, pieces[i].After)) {
      for (std::size_t j = 0; j < i; ++j) Apply(pieces[j].Start, pieces[j].End, pieces[j].Before);
      return false;
    }
  }
  HoldList.push_back({key, start, end, mode});
  return true;
}

bool TRangeLockSet::Release(std::uint64_t key) {
  auto it = std::find_if(HoldList.begin(), HoldList.end(), [key](const THold& h) { return h.Key == key; });
  if (it == HoldList.end()) return false;
  const THold hold = *it;
  const std::vector<std::uint64_t> points = Boundaries(hold.Start, hold.End);
  bool ok = true;
  // Downgrades first, then unlocks, so that no byte still needed is ever
  // unlocked in between.
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
      TLockMode before = ModeAt(points[i]);
      TLockMode after = ModeExcluding(points[i], key);
      if (before == after) continue;
      if ((pass == 0) != (after != TLockMode::lmNone)) continue;
      ok = Apply(points[i], points[i + 1], after) && ok;
    }
  }
  HoldList.erase(std::find_if(HoldList.begin(), HoldList.end(), [key](const THold& h) { return h.Key == key; }));
  return ok;
}

void TRangeLockSet::ReleaseAll() {
  while (!HoldList.empty()) Release(HoldList.back().Key);
}

}  // namespace store
