// The library as an application sees it: loaded by path, driven only
// through its two exports, unloaded at the end.
#pragma once

#include "trutina.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace trutina::testing {

class LoadedLibrary {
public:
    explicit LoadedLibrary(const char *path) : handle_(::dlopen(path, RTLD_NOW | RTLD_LOCAL))
    {
        if (!handle_)
            throw std::runtime_error(std::string("dlopen: ") + ::dlerror());
        setComPort_ = reinterpret_cast<TrutinaSetComPortFn>(::dlsym(handle_, "SetComPort"));
        freshData_ = reinterpret_cast<TrutinaFreshDataFn>(::dlsym(handle_, "FreshData"));
        if (!setComPort_ || !freshData_)
            throw std::runtime_error("exports missing");
    }
    ~LoadedLibrary() { unload(); }

    LoadedLibrary(const LoadedLibrary &) = delete;
    LoadedLibrary &operator=(const LoadedLibrary &) = delete;

    void unload()
    {
        if (handle_)
            ::dlclose(handle_);
        handle_ = nullptr;
    }

    int32_t setComPort(int32_t port) { return setComPort_(port); }
    int32_t freshData(int32_t *block) { return freshData_(block); }

    std::vector<int32_t> block()
    {
        std::vector<int32_t> words(TRUTINA_BLOCK_WORDS, -7);
        freshData_(words.data());
        return words;
    }
    int32_t word(int index) { return block()[index]; }

private:
    void *handle_;
    TrutinaSetComPortFn setComPort_ = nullptr;
    TrutinaFreshDataFn freshData_ = nullptr;
};

} // namespace trutina::testing
