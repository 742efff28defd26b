// The table of definition-kind operations. Ten kinds of definition share one
// store, but each kind keeps its own part of the record and its own handlers
// in the layer of its subsystem, above the store. The store reaches them
// through this table, which the top layer fills when a context starts
// (src/api/krwire.cpp). A kind that is not built is simply absent: its type
// test accepts nothing, so no definition of it is read, and every other call
// on it fails as for a number that is no kind.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

struct tq_xmldoc;

namespace tq {

using xmldoc = ::tq_xmldoc;

// Definition kinds, by their numbers in files and messages.
enum defn_kind : int32_t {
  kDefnCase = 1,
  kDefnGender = 2,
  kDefnIdent = 3,
  kDefnMatch = 4,
  kDefnParse = 5,
  kDefnPattern = 6,
  kDefnStdzn = 7,
  kDefnExtract = 8,
  kDefnLocaleGuess = 9,
  kDefnLangGuess = 10,
};
inline constexpr int32_t kDefnKindCount = 10;

// The definition store's records: a definition and one of its tokens. Each
// kind's handlers own the kind part of both.
struct defn_rec;
struct dtok_rec;

// What an index held by a definition names: a definition of a kind (1..10),
// or with kHeldDatatype a datatype.
inline constexpr int32_t kHeldDatatype = 0;
// Called once for each such index: the kind of what it names and the index
// itself, which the caller may change.
using defn_held_visit = void (*)(void* arg, int32_t named_kind, int32_t* index);

// A kind's handlers. Each takes the context first and returns 0 or a
// positive warning on success, a negative code on failure. NULL (the
// default): the kind has nothing to do at that step. A free hook with keep_refs set forgets the
// resource indices of the kind part without giving the references back; a
// copy hook takes one more reference on every resource it copies.
struct defn_kind_ops {
  // The kind's root type: the type of a definition's element and the
  // include name it is written under ("Parsorithm" ...).
  const char* root_type = nullptr;
  // The element type of one definition when the kind part asks for another
  // than the root type (a versioned type such as "Dovirizered V8"); NULL, or
  // a NULL or empty answer: the root type.
  const char* (*element_type)(const defn_rec* rec) = nullptr;
  // Nonzero when an include name of a locale document names a definition
  // element of this kind; 0 for NULL.
  int32_t (*type_matches)(context* ctx, const char* include_name) = nullptr;
  // The kind part of a new record, of a record read from its element, added
  // to an element being written, copied, released.
  int32_t (*init)(context* ctx, defn_rec* rec) = nullptr;
  int32_t (*read)(context* ctx, const xmldoc* element, defn_rec* rec) = nullptr;
  int32_t (*write)(context* ctx, xmldoc* element, const defn_rec* rec) = nullptr;
  int32_t (*copy)(context* ctx, const defn_rec* src, defn_rec* dst) = nullptr;
  int32_t (*free)(context* ctx, defn_rec* rec, int32_t keep_refs) = nullptr;
  // After a definition and its tokens were read (token count against the
  // datatype's).
  int32_t (*validate)(context* ctx, defn_rec* rec) = nullptr;
  // After a copy, once the store has rebased every held index (below):
  // whatever else of the kind part depends on where the copy lives.
  int32_t (*remap)(context* ctx, defn_rec* rec, int32_t source_index) = nullptr;
  // Every index of another definition (or of a datatype) that the kind part
  // and its tokens hold, in the index space of the definition's own locale:
  // visit(arg, what it names, &index) for each, -1 (none) included. Through
  // this one list the store rebases them after a copy and, when what one
  // names is unloaded, forgets it (-1), so a field left out here would
  // outlive its definition and name an empty slot.
  void (*held_indices)(defn_rec* rec, defn_held_visit visit, void* arg) = nullptr;
  // Nonzero when a definition of this kind cannot be read without the
  // definition of `named_kind` that it names (its reader refuses it): such a
  // named definition is not unloaded while a loaded one names it, since the
  // locale written without it would not read back. NULL: every index the
  // kind holds may be forgotten, as its reader takes a document without it.
  int32_t (*needs_named)(int32_t named_kind) = nullptr;
  // The datatype name of a definition whose element names none, derived
  // from the definition's name (size bytes with the terminator); an empty
  // answer fails the read.
  int32_t (*datatype_from_name)(context* ctx, const char* defn_name, char* out, uint32_t size) = nullptr;
  // The kind block of a definition token.
  int32_t (*token_init)(context* ctx, dtok_rec* tok) = nullptr;
  int32_t (*token_read)(context* ctx, const xmldoc* element, dtok_rec* tok) = nullptr;
  int32_t (*token_write)(context* ctx, xmldoc* element, const dtok_rec* tok) = nullptr;
  int32_t (*token_copy)(context* ctx, const dtok_rec* src, dtok_rec* dst, int32_t keep_refs) = nullptr;
  int32_t (*token_free)(context* ctx, dtok_rec* tok, int32_t keep_refs) = nullptr;
  // A field of the definition changed (kFieldDrops* bits of krfield.h):
  // drop what the kind prepared from it. Called under the write hold.
  void (*invalidate)(context* ctx, defn_rec* rec, uint32_t what) = nullptr;
  // Nonzero when the kind part just read asks for a vocabulary (an
  // extraction definition that uses the parser); NULL when the kind's need
  // does not depend on its part.
  int32_t (*needs_vocabulary)(const defn_rec* rec) = nullptr;
};

// The display name of a kind ("Case" ... "Language Guess"); "" outside 1..10.
const char* defn_kind_name(int32_t kind);

// A kind's operations; NULL outside 1..10 or for a kind not built.
const defn_kind_ops* defn_kind_ops_get(int32_t kind);
// Fills (or with NULL empties) a kind's entry; a kind outside 1..10 is
// ignored. The operations must outlive every context.
void defn_kind_ops_set(int32_t kind, const defn_kind_ops* ops);

// 0 for a kind of 1..10 whose operations are filled; else -802, recorded
// with message 171.
int32_t defn_kind_check(context* ctx, int32_t kind);

// The type test by kind: 0 for a kind outside 1..10 or not built.
int32_t defn_kind_type_matches(context* ctx, int32_t kind, const char* include_name);

// The type test of a kind whose definitions are written under its root
// type or its vertical form: 1 when include_name is either, 0 otherwise
// (and for NULL).
int32_t defn_root_type_matches(const char* include_name, const char* root, const char* vertical);

// Calls one hook of a kind: defn_kind_call<&defn_kind_ops::copy>(ctx, kind,
// src, dst). A kind outside 1..10 or not built fails as defn_kind_check; a
// hook the kind leaves NULL has nothing to do (0).
template <auto Hook, typename... A>
int32_t defn_kind_call(context* ctx, int32_t kind, A... args) {
  if (int32_t rc = defn_kind_check(ctx, kind); rc != 0) return rc;
  const defn_kind_ops* ops = defn_kind_ops_get(kind);
  if (ops->*Hook == nullptr) return 0;
  return (ops->*Hook)(ctx, args...);
}

}  // namespace tq
