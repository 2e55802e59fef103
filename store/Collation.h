// Collation of texts under the table's locale for a non-zero language
// identifier. Language identifier 0 needs none of this: its keys compare as
// bytes. The locales come from the operating system; a missing one is
// reported by the callers as STORE_CANNOTLOADLDDRV.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "StoreExport.h"

namespace store {

class SAUNO_STORE_EXPORT TCollation {
 public:
  // Nothing when the locale for (sort id << 16 | language id) is not installed
  // or not known.
  static std::unique_ptr<TCollation> ForLocale(std::uint16_t languageId, std::uint16_t sortId);
  ~TCollation();
  TCollation(const TCollation&) = delete;
  TCollation& operator=(const TCollation&) = delete;

  // Compares two zero-terminated texts held in fixed-size spans.
  int Compare(std::string_view a, std::string_view b) const;

 private:
  explicit TCollation(void* handle) : Handle(handle) {}
  void* Handle;
};

SAUNO_STORE_EXPORT bool LocaleAvailable(std::uint16_t languageId, std::uint16_t sortId);

}  // namespace store
