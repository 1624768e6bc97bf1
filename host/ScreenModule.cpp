#include "ScreenModule.h"

#include <dlfcn.h>
#include <stdexcept>

namespace host {

ScreenModule loadScreenModule(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = dlerror();
        throw std::runtime_error("não foi possível carregar o módulo da tela " + path + ": " +
                                 (error ? error : "erro desconhecido"));
    }
    dlerror();
    void* address = dlsym(handle, tk::kScreenPackageSymbol);
    if (const char* error = dlerror(); error || !address)
        throw std::runtime_error("o módulo " + path + " não exporta " + tk::kScreenPackageSymbol +
                                 (error ? std::string(": ") + error : ""));
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    auto accessor = reinterpret_cast<tk::ScreenPackageAccessor>(address);
    // The package object lives in the library, which is never unloaded.
    return ScreenModule(&accessor(), [](tk::ScreenPackage*) {});
}

} // namespace host
