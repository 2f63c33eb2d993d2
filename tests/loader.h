// The platform loader for tests that open the built libraries themselves:
// LoadLibrary/GetProcAddress on Windows, dlopen/dlsym elsewhere. Paths of the
// built files come from the build as COOLWARM_*_FILE.
#ifndef COOLWARM_TEST_LOADER_H
#define COOLWARM_TEST_LOADER_H

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdint>
#include <cstring>
#include <string>

namespace loader {

#if defined(_WIN32)
inline void* open(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
// The module already in this process from that file, without a new reference.
inline void* loaded(const std::string& path)
{
    const std::string name = path.substr(path.find_last_of("/\\") + 1);
    return reinterpret_cast<void*>(GetModuleHandleA(name.c_str()));
}
inline void* symbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
inline void close(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
inline std::string error() { return "error " + std::to_string(GetLastError()); }
// The code a failed lookup leaves for GetLastError: ERROR_PROC_NOT_FOUND.
constexpr int kMissingSymbolCode = 127;

// Points the import `function` of `module` (bound from `dll`) at `replacement`
// and returns what it pointed to, or null when the module does not import it.
// Tests use this to see the calls a library makes into the system.
inline void* patchImport(void* module, const char* dll, const char* function, void* replacement)
{
    char* base = static_cast<char*>(module);
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
        return nullptr;
    for (IMAGE_IMPORT_DESCRIPTOR* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name != 0; ++d) {
        if (_stricmp(base + d->Name, dll) != 0 || d->OriginalFirstThunk == 0)
            continue;
        IMAGE_THUNK_DATA* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const IMAGE_IMPORT_BY_NAME* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            void* original = reinterpret_cast<void*>(slots->u1.Function);
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            slots->u1.Function = reinterpret_cast<std::uintptr_t>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return original;
        }
    }
    return nullptr;
}
#else
inline void* open(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
inline void* loaded(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD); }
inline void* symbol(void* library, const char* name) { return dlsym(library, name); }
inline void close(void* library) { dlclose(library); }
inline std::string error()
{
    const char* text = dlerror();
    return text ? text : "unknown error";
}
// dlsym has no error number; the library reports 0.
constexpr int kMissingSymbolCode = 0;
#endif

}  // namespace loader

#endif
