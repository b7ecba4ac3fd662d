// Small owners that release platform resources on every path.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

// COM on the calling thread; uninitialised only if the initialisation succeeded.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComApartment() { if (initialised_) CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

class BstrHolder {
public:
    explicit BstrHolder(BSTR text = nullptr) : text_(text) {}
    explicit BstrHolder(const wchar_t* text) : text_(SysAllocString(text)) {}
    ~BstrHolder() { SysFreeString(text_); }
    BstrHolder(const BstrHolder&) = delete;
    BstrHolder& operator=(const BstrHolder&) = delete;
    BSTR Get() const { return text_; }
    BSTR* Out() { SysFreeString(text_); text_ = nullptr; return &text_; }

private:
    BSTR text_;
};

class VariantHolder {
public:
    VariantHolder() { VariantInit(&value_); }
    ~VariantHolder() { VariantClear(&value_); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;
    VARIANT* Get() { return &value_; }
    VARIANT* Out() { VariantClear(&value_); return &value_; }

private:
    VARIANT value_;
};

class ModuleHolder {
public:
    explicit ModuleHolder(HMODULE module = nullptr) : module_(module) {}
    ~ModuleHolder() { if (module_) FreeLibrary(module_); }
    ModuleHolder(const ModuleHolder&) = delete;
    ModuleHolder& operator=(const ModuleHolder&) = delete;
    HMODULE Get() const { return module_; }
    // Frees the module held so far and holds `module` instead.
    void Reset(HMODULE module = nullptr)
    {
        if (module_)
            FreeLibrary(module_);
        module_ = module;
    }

private:
    HMODULE module_;
};

class FileHolder {
public:
    explicit FileHolder(HANDLE file = INVALID_HANDLE_VALUE) : file_(file) {}
    ~FileHolder() { if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_); }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
    HANDLE Get() const { return file_; }
    bool Valid() const { return file_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE file_;
};

class RegistryKeyHolder {
public:
    RegistryKeyHolder() : key_(nullptr) {}
    ~RegistryKeyHolder() { Reset(); }
    RegistryKeyHolder(const RegistryKeyHolder&) = delete;
    RegistryKeyHolder& operator=(const RegistryKeyHolder&) = delete;
    HKEY Get() const { return key_; }
    HKEY* Out() { Reset(); return &key_; }
    void Reset() { if (key_) RegCloseKey(key_); key_ = nullptr; }

private:
    HKEY key_;
};
