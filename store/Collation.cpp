#include "Collation.h"

#include <locale.h>

#include <cstring>
#include <string>

namespace store {
namespace {

struct TLocaleName {
  std::uint16_t LanguageId;
  const char* Name;
};

// Locale identifiers of the Western European 8-bit character set.
constexpr TLocaleName LocaleNames[] = {
    {1030, "da_DK"}, {1031, "de_DE"}, {1033, "en_US"}, {1034, "es_ES"}, {1035, "fi_FI"}, {1036, "fr_FR"},
    {1039, "is_IS"}, {1040, "it_IT"}, {1043, "nl_NL"}, {1044, "nb_NO"}, {1046, "pt_BR"}, {1053, "sv_SE"},
    {2057, "en_GB"}, {2070, "pt_PT"}, {3082, "es_ES"},
};

locale_t OpenLocale(std::uint16_t languageId) {
  for (const TLocaleName& entry : LocaleNames) {
    if (entry.LanguageId != languageId) continue;
    for (const char* charset : {".ISO-8859-1", ".ISO-8859-15", ".CP1252"}) {
      std::string name = std::string(entry.Name) + charset;
      locale_t handle = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(0));
      if (handle != static_cast<locale_t>(0)) return handle;
    }
  }
  return static_cast<locale_t>(0);
}

}  // namespace

std::unique_ptr<TCollation> TCollation::ForLocale(std::uint16_t languageId, std::uint16_t /*sortId*/) {
  locale_t handle = OpenLocale(languageId);
  if (handle == static_cast<locale_t>(0)) return nullptr;
  return std::unique_ptr<TCollation>(new TCollation(handle));
}

TCollation::~TCollation() { freelocale(static_cast<locale_t>(Handle)); }

int TCollation::Compare(std::string_view a, std::string_view b) const {
  std::string left(a.substr(0, std::strlen(std::string(a).c_str())));
  std::string right(b.substr(0, std::strlen(std::string(b).c_str())));
  int r = strcoll_l(left.c_str(), right.c_str(), static_cast<locale_t>(Handle));
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

bool LocaleAvailable(std::uint16_t languageId, std::uint16_t sortId) {
  return TCollation::ForLocale(languageId, sortId) != nullptr;
}

}  // namespace store
