#include "volume/LazyLibrary.h"

#include <dlfcn.h>

namespace rekkon {

bool LazyLibrary::load() {
    std::call_once(once_, [this] {
        for (const std::string& name : names_) {
            handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle_ != nullptr) return;
            if (error_.empty()) {
                const char* why = ::dlerror();
                error_ = why != nullptr ? why : name + ": cannot be loaded";
            }
        }
    });
    return handle_ != nullptr;
}

void* LazyLibrary::symbol(const char* name) const {
    return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

}  // namespace rekkon
