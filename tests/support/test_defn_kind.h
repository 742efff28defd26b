// A definition kind for tests of the definition store, its documents and the
// locale loader, lent to the kind table in place of a kind not built yet.
// Its part holds one number read from and written to the property "Test
// Value"; every hook counts its calls, so tests can see that a cleared
// record calls nothing again and that copies and frees pair up.
//
// White-box only (it fills the internal kind table): include it from tests
// linked with the layers' objects, and keep a TestDefnKind alive for as long
// as contexts use the kind.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kbstore/krdefn.h"
#include "kbstore/krkind.h"
#include "kbstore/krxml.h"

namespace tqtest {

// The number the test kind takes; change it when that kind is built.
inline constexpr int32_t kTestKind = tq::kDefnPattern;
inline constexpr const char* kTestKindRootType = "Test Definition";

struct test_kind_part {
  int32_t value;
};

struct TestKindCounters {
  int init = 0, read = 0, write = 0, copy = 0, free = 0, validate = 0, remap = 0;
  int32_t last_remap_source = 0;
  // When set, the read hook fails with this code (a critical one stops a load).
  int32_t read_result = 0;
};

inline TestKindCounters& test_kind_counters() {
  static TestKindCounters counters;
  return counters;
}

namespace detail {

inline int32_t tk_type_matches(tq::context*, const char* include_name) {
  return std::strcmp(include_name, kTestKindRootType) == 0 ||
                 std::strcmp(include_name, "Test Definition -- Vertical") == 0
             ? 1
             : 0;
}
inline int32_t tk_init(tq::context*, tq::defn_rec* rec) {
  ++test_kind_counters().init;
  auto* part = static_cast<test_kind_part*>(std::calloc(1, sizeof(test_kind_part)));
  if (part == nullptr) return -600;
  rec->part = part;
  return 0;
}
inline int32_t tk_read(tq::context* ctx, const tq::xmldoc* element, tq::defn_rec* rec) {
  ++test_kind_counters().read;
  if (test_kind_counters().read_result != 0) return test_kind_counters().read_result;
  const char* text = tq::xmldoc_prop_get(ctx, element, "Test Value");
  if (text != nullptr && rec->part != nullptr) static_cast<test_kind_part*>(rec->part)->value = std::atoi(text);
  return 0;
}
inline int32_t tk_write(tq::context* ctx, tq::xmldoc* element, const tq::defn_rec* rec) {
  ++test_kind_counters().write;
  int32_t value = rec->part != nullptr ? static_cast<const test_kind_part*>(rec->part)->value : 0;
  return tq::xmldoc_prop_add(ctx, element, "Test Value", std::to_string(value).c_str());
}
inline int32_t tk_copy(tq::context*, const tq::defn_rec* src, tq::defn_rec* dst) {
  ++test_kind_counters().copy;
  if (src->part != nullptr && dst->part != nullptr) {
    *static_cast<test_kind_part*>(dst->part) = *static_cast<const test_kind_part*>(src->part);
  }
  return 0;
}
inline int32_t tk_free(tq::context*, tq::defn_rec* rec, int32_t) {
  ++test_kind_counters().free;
  std::free(rec->part);
  rec->part = nullptr;
  return 0;
}
inline int32_t tk_validate(tq::context*, tq::defn_rec*) {
  ++test_kind_counters().validate;
  return 0;
}
inline int32_t tk_remap(tq::context*, tq::defn_rec*, int32_t source_index) {
  ++test_kind_counters().remap;
  test_kind_counters().last_remap_source = source_index;
  return 0;
}

inline const tq::defn_kind_ops& test_kind_ops() {
  static const tq::defn_kind_ops ops = [] {
    tq::defn_kind_ops o;
    o.root_type = kTestKindRootType;
    o.type_matches = tk_type_matches;
    o.init = tk_init;
    o.read = tk_read;
    o.write = tk_write;
    o.copy = tk_copy;
    o.free = tk_free;
    o.validate = tk_validate;
    o.remap = tk_remap;
    return o;
  }();
  return ops;
}

}  // namespace detail

// Lends the test kind for its lifetime (counters reset), in place of
// whatever the kind's entry held, and puts that back afterwards. Contexts
// started meanwhile keep the lent operations (the wiring fills only empty
// entries), so the test kind may stand in for a kind that is built.
class TestDefnKind {
 public:
  TestDefnKind() : saved_(tq::defn_kind_ops_get(kTestKind)) {
    test_kind_counters() = TestKindCounters{};
    tq::defn_kind_ops_set(kTestKind, &detail::test_kind_ops());
  }
  ~TestDefnKind() { tq::defn_kind_ops_set(kTestKind, saved_); }
  TestDefnKind(const TestDefnKind&) = delete;
  TestDefnKind& operator=(const TestDefnKind&) = delete;
  TestKindCounters& counters() { return test_kind_counters(); }

 private:
  const tq::defn_kind_ops* saved_;
};

}  // namespace tqtest
