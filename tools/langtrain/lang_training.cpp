// Makes the training schemes of the sample knowledge base's language
// definitions: character trigram counts of English, German, French and
// Turkish text found on this machine under permissive or library licences.
//
//   * ICU's copy of the Unicode CLDR data (Unicode licence): the names of
//     languages, countries, scripts, currencies and locales, month, day,
//     quarter and era names, time zone and city names, unit phrases ("5 kilometres per hour") and
//     relative times ("in 3 days"), each in the language itself;
//   * Debian's iso-codes translations (LGPL-2.1+), when installed: the
//     names of countries, languages, currencies and scripts (the English
//     names are the message ids).
//
// Each text is uppercased with the language's own rules (Turkish dotted
// capital I), every run of white space becomes one blank, and the start and
// end markers (code points 2 and 3) enclose it, as scoring does with a
// definition that uses bookends. Every window of three code points counts
// once per occurrence; n-grams with a digit (the numbers of unit phrases
// and relative times) are left out, since digits say nothing about the
// language. The output is one phrase scheme per language
// (lang_<xx>_trigrams.sch.xml), n-grams seen at least twice, most frequent
// first; the markers are written as &#x10ff02; and &#x10ff03;, the escape
// that the knowledge-base reader turns back into the control characters.
//
// Build and run (writes into the given scheme folder):
//   c++ -std=c++20 -O2 tools/langtrain/lang_training.cpp -o /tmp/lang_training
//       $(pkg-config --cflags --libs icu-uc icu-i18n)   (one command line)
//   /tmp/lang_training examples/kb/scheme
#include <unicode/dtfmtsym.h>
#include <unicode/locdspnm.h>
#include <unicode/locid.h>
#include <unicode/measfmt.h>
#include <unicode/measunit.h>
#include <unicode/measure.h>
#include <unicode/reldatefmt.h>
#include <unicode/strenum.h>
#include <unicode/timezone.h>
#include <unicode/tznames.h>
#include <unicode/uchar.h>
#include <unicode/ucurr.h>
#include <unicode/uloc.h>
#include <unicode/unistr.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using icu::UnicodeString;

struct Language {
  const char* code;      // ICU locale and iso-codes folder
  const char* name;      // for the scheme's description
  int32_t locale_code;   // the engine's locale code
  const char* iso;
};

constexpr Language kLanguages[] = {
    {"en", "English", 29000, "EN"},
    {"de", "German", 39000, "DE"},
    {"fr", "French", 33000, "FR"},
    {"tr", "Turkish", 123000, "TR"},
};

// The iso-codes domains used: names of whole countries, languages,
// currencies and scripts (not subdivisions, which are mostly local proper
// names of one language or another).
constexpr const char* kIsoDomains[] = {"iso_3166-1", "iso_639-2", "iso_4217", "iso_15924"};

std::string utf8(const UnicodeString& s) {
  std::string out;
  s.toUTF8String(out);
  return out;
}

// ---- Texts from ICU -----------------------------------------------------------------------

void add(std::vector<UnicodeString>& texts, const UnicodeString& s) {
  if (!s.isEmpty()) texts.push_back(s);
}

void icu_texts(const icu::Locale& loc, std::vector<UnicodeString>& texts) {
  UErrorCode status = U_ZERO_ERROR;
  // Languages and countries by their codes; a name that is only the code
  // (no translation) says nothing about the language.
  for (const char* const* p = uloc_getISOLanguages(); *p != nullptr; ++p) {
    UnicodeString name;
    icu::Locale(*p).getDisplayLanguage(loc, name);
    if (name != UnicodeString(*p)) add(texts, name);
  }
  for (const char* const* p = uloc_getISOCountries(); *p != nullptr; ++p) {
    UnicodeString name;
    icu::Locale("", *p).getDisplayCountry(loc, name);
    if (name != UnicodeString(*p)) add(texts, name);
  }
  // Whole locales: "German (Switzerland)".
  int32_t count = 0;
  const icu::Locale* available = icu::Locale::getAvailableLocales(count);
  for (int32_t i = 0; i < count; ++i) {
    UnicodeString name;
    available[i].getDisplayName(loc, name);
    add(texts, name);
  }
  std::unique_ptr<icu::LocaleDisplayNames> ldn(icu::LocaleDisplayNames::createInstance(loc));
  for (int32_t s = 0; s < USCRIPT_CODE_LIMIT; ++s) {
    const char* code = uscript_getShortName(static_cast<UScriptCode>(s));
    if (code == nullptr || ldn == nullptr) continue;
    UnicodeString name;
    ldn->scriptDisplayName(code, name);
    if (name != UnicodeString(code)) add(texts, name);
  }
  // Currencies, singular and plural.
  UEnumeration* currencies = ucurr_openISOCurrencies(UCURR_COMMON | UCURR_NON_DEPRECATED, &status);
  const char* code = nullptr;
  while (U_SUCCESS(status) && (code = uenum_next(currencies, nullptr, &status)) != nullptr) {
    UChar ucode[4];
    u_charsToUChars(code, ucode, 3);
    ucode[3] = 0;
    UBool choice = false;
    int32_t len = 0;
    UErrorCode st = U_ZERO_ERROR;
    const UChar* name = ucurr_getName(ucode, loc.getName(), UCURR_LONG_NAME, &choice, &len, &st);
    if (U_SUCCESS(st) && st != U_USING_DEFAULT_WARNING && name != nullptr && UnicodeString(name, len) != code) {
      add(texts, UnicodeString(name, len));
    }
    st = U_ZERO_ERROR;
    name = ucurr_getPluralName(ucode, loc.getName(), &choice, "other", &len, &st);
    if (U_SUCCESS(st) && st != U_USING_DEFAULT_WARNING && name != nullptr && UnicodeString(name, len) != code) {
      add(texts, UnicodeString(name, len));
    }
  }
  uenum_close(currencies);
  // Months, days, quarters, eras.
  status = U_ZERO_ERROR;
  icu::DateFormatSymbols dfs(loc, status);
  if (U_SUCCESS(status)) {
    for (auto ctx : {icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::STANDALONE}) {
      int32_t n = 0;
      const UnicodeString* v = dfs.getMonths(n, ctx, icu::DateFormatSymbols::WIDE);
      for (int32_t i = 0; i < n; ++i) add(texts, v[i]);
      v = dfs.getWeekdays(n, ctx, icu::DateFormatSymbols::WIDE);
      for (int32_t i = 0; i < n; ++i) add(texts, v[i]);
      v = dfs.getQuarters(n, ctx, icu::DateFormatSymbols::WIDE);
      for (int32_t i = 0; i < n; ++i) add(texts, v[i]);
    }
    int32_t n = 0;
    const UnicodeString* v = dfs.getEraNames(n);
    for (int32_t i = 0; i < n; ++i) add(texts, v[i]);
  }
  // Unit phrases, singular and plural.
  status = U_ZERO_ERROR;
  icu::MeasureFormat mf(loc, UMEASFMT_WIDTH_WIDE, status);
  if (U_SUCCESS(status)) {
    UErrorCode st = U_ZERO_ERROR;
    const int32_t total = icu::MeasureUnit::getAvailable(nullptr, 0, st);
    std::vector<icu::MeasureUnit> units(static_cast<size_t>(total));
    st = U_ZERO_ERROR;
    icu::MeasureUnit::getAvailable(units.data(), total, st);
    for (const icu::MeasureUnit& u : units) {
      // Currencies format as amounts ("5,00 ..."): their names come above.
      if (std::strcmp(u.getType(), "currency") == 0) continue;
      for (int value : {1, 5}) {
        UErrorCode fst = U_ZERO_ERROR;
        icu::Measure m(icu::Formattable(value), u.clone(), fst);
        if (U_FAILURE(fst)) continue;
        UnicodeString out;
        icu::FieldPosition pos(icu::FieldPosition::DONT_CARE);
        mf.formatMeasures(&m, 1, out, pos, fst);
        if (U_SUCCESS(fst)) add(texts, out);
      }
    }
  }
  // Time zones: "Central European Summer Time", and the cities that name
  // zones ("Vienna", "Copenhagen") as the language writes them.
  status = U_ZERO_ERROR;
  std::unique_ptr<icu::TimeZoneNames> tzn(icu::TimeZoneNames::createInstance(loc, status));
  if (U_SUCCESS(status)) {
    std::unique_ptr<icu::StringEnumeration> metazones(tzn->getAvailableMetaZoneIDs(status));
    const UnicodeString* id = nullptr;
    while (U_SUCCESS(status) && metazones != nullptr && (id = metazones->snext(status)) != nullptr) {
      for (auto type : {UTZNM_LONG_GENERIC, UTZNM_LONG_STANDARD, UTZNM_LONG_DAYLIGHT}) {
        UnicodeString name;
        tzn->getMetaZoneDisplayName(*id, type, name);
        add(texts, name);
      }
    }
    status = U_ZERO_ERROR;
    std::unique_ptr<icu::StringEnumeration> zones(
        icu::TimeZone::createTimeZoneIDEnumeration(UCAL_ZONE_TYPE_CANONICAL_LOCATION, nullptr, nullptr, status));
    while (U_SUCCESS(status) && zones != nullptr && (id = zones->snext(status)) != nullptr) {
      UnicodeString name;
      tzn->getExemplarLocationName(*id, name);
      add(texts, name);
    }
  }
  // Relative times: "in 3 days", "2 weeks ago", "yesterday".
  status = U_ZERO_ERROR;
  icu::RelativeDateTimeFormatter rdf(loc, status);
  if (U_SUCCESS(status)) {
    for (int unit = 0; unit < UDAT_RELATIVE_UNIT_COUNT; ++unit) {
      for (auto dir : {UDAT_DIRECTION_NEXT, UDAT_DIRECTION_LAST}) {
        for (double v : {1.0, 3.0}) {
          UErrorCode st = U_ZERO_ERROR;
          UnicodeString out;
          rdf.format(v, dir, static_cast<UDateRelativeUnit>(unit), out, st);
          if (U_SUCCESS(st)) add(texts, out);
        }
      }
    }
    for (int unit = 0; unit < UDAT_ABSOLUTE_UNIT_COUNT; ++unit) {
      for (int dir = 0; dir < UDAT_DIRECTION_COUNT; ++dir) {
        UErrorCode st = U_ZERO_ERROR;
        UnicodeString out;
        rdf.format(static_cast<UDateDirection>(dir), static_cast<UDateAbsoluteUnit>(unit), out, st);
        if (U_SUCCESS(st)) add(texts, out);
      }
    }
  }
}

// ---- Texts from iso-codes (gettext .mo files) -------------------------------------------

uint32_t word(const std::string& data, size_t at, bool swap) {
  if (at + 4 > data.size()) return 0;
  uint32_t v = 0;
  std::memcpy(&v, data.data() + at, 4);
  return swap ? __builtin_bswap32(v) : v;
}

// Message ids and translations of a .mo file; nothing when it is absent or
// malformed.
std::vector<std::pair<std::string, std::string>> mo_read(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> out;
  std::ifstream in(path, std::ios::binary);
  if (!in) return out;
  std::stringstream buf;
  buf << in.rdbuf();
  const std::string data = buf.str();
  const uint32_t magic = word(data, 0, false);
  const bool swap = magic == 0xde120495u;
  if (magic != 0x950412deu && !swap) return out;
  const uint32_t n = word(data, 8, swap);
  const uint32_t ids = word(data, 12, swap);
  const uint32_t strs = word(data, 16, swap);
  auto text = [&](uint32_t table, uint32_t i) -> std::string {
    const uint64_t at = static_cast<uint64_t>(table) + 8ull * i;
    const uint32_t len = word(data, at, swap);
    const uint32_t off = word(data, at + 4, swap);
    if (static_cast<uint64_t>(off) + len > data.size()) return {};
    std::string s = data.substr(off, len);
    // Plural forms follow the first after a NUL; a context precedes EOT.
    if (size_t eot = s.find('\x04'); eot != std::string::npos) s = s.substr(eot + 1);
    if (size_t nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
    return s;
  };
  for (uint32_t i = 0; i < n && i < 1000000; ++i) {
    std::string id = text(ids, i);
    std::string tr = text(strs, i);
    if (!id.empty()) out.emplace_back(std::move(id), std::move(tr));
  }
  return out;
}

void iso_texts(const Language& lang, std::vector<UnicodeString>& texts, std::set<std::string>& sources) {
  // English: the message ids, read from the German catalogues (any
  // language's would do).
  const std::string folder = std::strcmp(lang.code, "en") == 0 ? "de" : lang.code;
  for (const char* domain : kIsoDomains) {
    const std::string path = "/usr/share/locale/" + folder + "/LC_MESSAGES/" + domain + ".mo";
    const auto entries = mo_read(path);
    if (entries.empty()) continue;
    sources.insert(domain);
    for (const auto& [id, tr] : entries) {
      const std::string& s = std::strcmp(lang.code, "en") == 0 ? id : tr;
      if (!s.empty()) add(texts, UnicodeString::fromUTF8(s));
    }
  }
}

// ---- Trigrams -----------------------------------------------------------------------------

std::vector<UChar32> normalized(const UnicodeString& text, const icu::Locale& loc) {
  UnicodeString upper(text);
  upper.toUpper(loc);
  std::vector<UChar32> codes{2};
  bool space = false;
  for (int32_t i = 0; i < upper.length(); i = upper.moveIndex32(i, 1)) {
    const UChar32 c = upper.char32At(i);
    if (u_isUWhiteSpace(c)) {
      if (!space) codes.push_back(' ');
      space = true;
    } else {
      codes.push_back(c);
      space = false;
    }
  }
  codes.push_back(3);
  return codes;
}

std::string xml_escape(const std::vector<UChar32>& gram) {
  std::string out;
  for (UChar32 c : gram) {
    if (c == 2 || c == 3) {
      char ref[16];
      std::snprintf(ref, sizeof ref, "&#x%06x;", 0x10FF00u + static_cast<unsigned>(c));
      out += ref;
    } else if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"') {
      out += "&quot;";
    } else {
      out += utf8(UnicodeString(c));
    }
  }
  return out;
}

int run(const std::string& out_dir) {
  for (const Language& lang : kLanguages) {
    const icu::Locale loc(lang.code);
    std::vector<UnicodeString> texts;
    std::set<std::string> iso_sources;
    icu_texts(loc, texts);
    const size_t icu_count = texts.size();
    iso_texts(lang, texts, iso_sources);
    std::map<std::vector<UChar32>, uint32_t> counts;
    size_t chars = 0;
    for (const UnicodeString& t : texts) {
      const std::vector<UChar32> codes = normalized(t, loc);
      chars += codes.size() - 2;
      for (size_t i = 0; i + 3 <= codes.size(); ++i) {
        if (std::any_of(codes.begin() + i, codes.begin() + i + 3, [](UChar32 c) { return c >= '0' && c <= '9'; })) {
          continue;
        }
        ++counts[{codes.begin() + i, codes.begin() + i + 3}];
      }
    }
    std::vector<std::pair<std::vector<UChar32>, uint32_t>> kept;
    for (const auto& [gram, n] : counts) {
      if (n >= 2) kept.emplace_back(gram, n);
    }
    std::stable_sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    const std::string name = std::string("lang_") + lang.code + "_trigrams";
    std::ofstream out(out_dir + "/" + name + ".sch.xml", std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<!-- Generated by tools/langtrain/lang_training.cpp: " << lang.name << " character trigrams\n"
        << "     (uppercased, white space one blank, start and end markers) of " << texts.size() << " texts\n"
        << "     (" << chars << " characters): " << icu_count << " from ICU's CLDR data";
    if (!iso_sources.empty()) {
      out << ", " << texts.size() - icu_count << " from iso-codes (";
      bool first = true;
      for (const std::string& s : iso_sources) {
        out << (first ? "" : ", ") << s;
        first = false;
      }
      out << ")";
    }
    out << ".\n     Trigrams seen at least twice, most frequent first. See examples/kb/SOURCES.md. -->\n"
        << "<krxml>\n<file type=\"scheme\" version=\"7.0\">\n"
        << "<property name=\"Locale Code\">" << lang.locale_code << "</property>\n"
        << "<property name=\"Locale ISO Code\">" << lang.iso << "</property>\n"
        << "<property name=\"Locale Description\">" << lang.name << "</property>\n"
        << "<property name=\"std_type\">phrase</property>\n"
        << "<property name=\"Case Insensitive\">Yes</property>\n"
        << "<property name=\"Trim Whitespace\">No</property>\n"
        << "<data length=\"" << kept.size() << "\">\n";
    for (const auto& [gram, n] : kept) {
      out << "<record key=\"" << xml_escape(gram) << "\"><value>" << n << "</value></record>\n";
    }
    out << "</data>\n</file>\n</krxml>\n";
    std::cout << name << ": " << texts.size() << " texts, " << chars << " characters, " << counts.size()
              << " trigrams, " << kept.size() << " kept\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: lang_training <scheme folder>\n";
    return 2;
  }
  return run(argv[1]);
}
