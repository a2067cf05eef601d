#pragma once

#include <windows.h>

// A DLL of Windows taken by its full path in the system folder, never by
// name: a DLL that is no KnownDLL (iphlpapi, bcrypt, hnetcfg, and on newer
// Windows some that were) would otherwise be looked for in the program's
// folder first, where a planted copy could stand in for it. Its functions are
// looked up one by one, so that one missing leaves out only its own part.
// Freed when this goes.
class SystemLibrary {
  public:
    // `name` as "iphlpapi.dll". Loaded is false when it could not be.
    explicit SystemLibrary(const wchar_t* name);
    ~SystemLibrary();
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    bool Loaded() const { return module_ != nullptr; }

    // The function `name`, of type `Function` (decltype of the header's
    // declaration, which names no import), or null.
    template <typename Function>
    Function* Find(const char* name) const {
        if (module_ == nullptr) {
            return nullptr;
        }
        return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

  private:
    HMODULE module_ = nullptr;
};
