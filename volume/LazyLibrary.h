#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace rekkon {

// A shared library loaded the first time it is needed (dlopen), for what only some runs use:
// the hashes of a recovery report, evidence files. A run that never needs it does not pay for
// loading and relocating it at start-up, which for a large library costs milliseconds.
class LazyLibrary {
  public:
    // `names`: the file names tried in turn, its run-time name first ("libewf.so.2").
    explicit LazyLibrary(std::vector<std::string> names) : names_(std::move(names)) {}
    LazyLibrary(const LazyLibrary&) = delete;
    LazyLibrary& operator=(const LazyLibrary&) = delete;

    // Loads it, once for all threads; false when none of the names loads, with why in error().
    bool load();
    // The address of the symbol `name` of a loaded library; null when it has none.
    void* symbol(const char* name) const;
    // Points `function` at the symbol `name`; false (and null) when the library has none.
    template <typename F>
    bool bind(F& function, const char* name) const {
        function = reinterpret_cast<F>(symbol(name));
        return function != nullptr;
    }
    // Why load() failed: the loader's own words.
    const std::string& error() const { return error_; }
    // The name it was looked for under first.
    const std::string& name() const { return names_.front(); }

  private:
    std::vector<std::string> names_;
    std::once_flag once_;
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace rekkon
