#include "ScreenModule.h"

#include <dlfcn.h>
#include <stdexcept>

namespace host {

namespace {

using EntryPoint = void (*)();

EntryPoint symbol(void* handle, const char* name, const std::string& path) {
    dlerror();
    void* address = dlsym(handle, name);
    if (const char* error = dlerror(); error || !address)
        throw std::runtime_error("o módulo " + path + " não exporta " + name +
                                 (error ? std::string(": ") + error : ""));
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    return reinterpret_cast<EntryPoint>(address);
}

} // namespace

ScreenModule loadScreenModule(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = dlerror();
        throw std::runtime_error("não foi possível carregar o módulo da tela " + path + ": " +
                                 (error ? error : "erro desconhecido"));
    }
    ScreenModule module;
    module.initialize = symbol(handle, "Initialize", path);
    module.finalize = symbol(handle, "Finalize", path);
    module.iniProc = symbol(handle, "IniProc", path);
    return module;
}

} // namespace host
