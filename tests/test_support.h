#pragma once

#include <windows.h>

#include <objbase.h>

#include <functional>
#include <optional>
#include <string>

// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
void Touch(const std::wstring& path);
std::optional<std::string> ReadBytes(const std::wstring& path);
// A text file as the profile functions see it: UTF-16LE after a byte-order
// mark, otherwise single-byte ASCII.
std::optional<std::wstring> ReadText(const std::wstring& path);
bool Exists(const std::wstring& path);

std::wstring RoamingAppData();
std::wstring ModuleDir(); // folder of the running test program

// Puts every field of g_app back to its value at process start.
void ResetAppState();

std::optional<std::wstring> ReadRegString(HKEY root, const wchar_t* key, const wchar_t* name);
void WriteRegString(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value);

// Remembers a registry value, of any type, and puts it back (or removes it) at the end.
class RegValueGuard {
public:
    RegValueGuard(HKEY root, const wchar_t* key, const wchar_t* name);
    ~RegValueGuard();
    RegValueGuard(const RegValueGuard&) = delete;
    RegValueGuard& operator=(const RegValueGuard&) = delete;

private:
    HKEY root_;
    std::wstring key_;
    std::wstring name_;
    std::optional<DWORD> type_;
    std::string data_;
};

std::string Narrow(const std::wstring& text); // UTF-8, for test messages

// Objects of a fake COM class: how many were made and destroyed, and whether
// one was released more often than referenced.
struct ComCounts {
    int created = 0;
    int destroyed = 0;
    bool overReleased = false;
};

// IUnknown for a fake object implementing `Interface` (identified by `iid`).
template <class Interface, const IID& iid> class FakeCom : public Interface {
public:
    explicit FakeCom(ComCounts& counts) : counts_(counts) { ++counts_.created; }
    virtual ~FakeCom() { ++counts_.destroyed; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (riid != IID_IUnknown && riid != iid) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        if (refs_ == 0) {
            counts_.overReleased = true;
            return 0;
        }
        if (--refs_ == 0) {
            delete this;
            return 0;
        }
        return refs_;
    }

private:
    ComCounts& counts_;
    ULONG refs_ = 0;
};

// While it lives, CoCreateInstance of `clsid` in this process gets what
// `create` (interface id, out pointer) makes.
class FakeClass final : public IClassFactory {
public:
    using Create = std::function<HRESULT(REFIID, void**)>;
    FakeClass(REFCLSID clsid, Create create);
    ~FakeClass();
    FakeClass(const FakeClass&) = delete;
    FakeClass& operator=(const FakeClass&) = delete;

    bool registered() const { return cookie_ != 0; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    Create create_;
    DWORD cookie_ = 0;
};
