// Shared libraries opened on first use: those a run may never need stay out of start-up.
#pragma once

#include <dlfcn.h>

#include <optional>

namespace kit {

// The library by its soname, opened with its dependencies and never closed; null when it cannot
// be loaded.
inline void* openLibrary(const char* soname) { return dlopen(soname, RTLD_NOW | RTLD_LOCAL); }

// Points f at the library's function of that name (found in its dependencies too); false when
// there is none.
template <typename F>
bool findFunction(void* library, F& f, const char* name) {
  f = reinterpret_cast<F>(dlsym(library, name));
  return f != nullptr;
}

// A table of the library's functions, filled by bind(table, find) where find(f, name) points f
// at a function; nullopt when the library or any function is missing.
template <typename Calls, typename Bind>
std::optional<Calls> loadCalls(const char* soname, Bind bind) {
  void* library = openLibrary(soname);
  if (!library) return std::nullopt;
  Calls calls{};
  if (!bind(calls, [library](auto& f, const char* name) { return findFunction(library, f, name); }))
    return std::nullopt;
  return calls;
}

}  // namespace kit
