// The locale guess engine run on the candidates alone: the context's
// current locale is only put back, so a context without one, or whose
// current locale another context unloaded, guesses as any other and keeps
// its (index, code) pair exactly.
#include <string>
#include <utility>

#include "guess/krgdef.h"
#include "guess/krgeng.h"
#include "guess/krldef.h"
#include "support/bare_kb.h"

namespace {

using namespace tq;

constexpr int32_t kDe = 39000, kFr = 33000, kEs = 103000;

class GuessRunKb : public tq_test::BareKb {
 public:
  GuessRunKb()
      : BareKb({"locale", "regexlib"}, tq_test::default_layers(),
               {{kDefnLocaleGuess, &kGuessDefnKindOps}, {kDefnLangGuess, &kLangDefnKindOps}}) {
    ctx()->options |= kOptNoLockFiles;
    for (const char* file : {"regexlib/Digits", "locale/l1.loc", "locale/de.loc", "locale/fr.loc", "locale/es.loc"}) {
      put({{std::string("guessrun/") + file, file}});
    }
    // ES holds a definition that is not valid: 104.
    for (int32_t code : {kEs, kDe, kFr}) {
      load(code, kLoadDatatypes | kLoadGuessDefns | kLoadLanguageDefns);
      EXPECT_GE(load_rc(), 0) << code << errors();
    }
  }
};

TEST(GuessRun, TheCurrentLocaleIsOnlyPutBack) {
  GuessRunKb kb;
  context* ctx = kb.ctx();
  uint32_t es_index = 0;
  ASSERT_EQ(locale_index_get(ctx, kEs, &es_index), 0);
  // What another context's unload of ES leaves this one: the pair it made
  // current, the record gone (this context's own unload would clear it).
  ASSERT_EQ(locale_select(ctx, kFr), 0);
  ASSERT_EQ(zel_locale_unload(ctx, kEs), 0);
  int32_t index = -1;
  ASSERT_EQ(defn_index_get_by_name_in_locale(ctx, kDefnLocaleGuess, "Text", kDe, kDefnAnySurface, &index), 0);
  defn_rec* rec = nullptr;
  ASSERT_EQ(defn_record_get_for_read_in_locale(ctx, kDefnLocaleGuess, kDe, index, &rec), 0);

  const std::pair<int32_t, int32_t> pairs[] = {{-1, 0}, {static_cast<int32_t>(es_index), kEs}};
  for (const auto& [at, code] : pairs) {
    SCOPED_TRACE(code);
    ctx->current_locale = at;
    ctx->current_locale_code = code;
    const uint32_t locales[] = {static_cast<uint32_t>(kDe), static_cast<uint32_t>(kFr)};
    uint32_t guessed = 0, best = 0;
    EXPECT_EQ(guess_locale_run(ctx, rec, "1234ABCD", locales, nullptr, 2, &guessed, &best, nullptr), 0)
        << kb.errors();
    EXPECT_EQ(guessed, static_cast<uint32_t>(kFr));  // a tie goes to the last locale
    EXPECT_EQ(best, 500u);
    EXPECT_EQ(ctx->current_locale, at);
    EXPECT_EQ(ctx->current_locale_code, code);
  }
}

}  // namespace
