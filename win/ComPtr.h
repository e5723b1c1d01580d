#pragma once
// Owning COM interface pointer and a scope guard for COM initialisation of the calling thread.
#include <objbase.h>
#include <utility>

namespace win {

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr& other) noexcept : m_ptr(other.m_ptr) {
        if (m_ptr) m_ptr->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* ptr) noexcept {
        ComPtr result;
        result.m_ptr = ptr;
        return result;
    }

    T* get() const noexcept { return m_ptr; }
    T* operator->() const noexcept { return m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }
    void reset() noexcept {
        if (T* old = std::exchange(m_ptr, nullptr)) old->Release();
    }
    T** put() noexcept {
        reset();
        return &m_ptr;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    T* detach() noexcept { return std::exchange(m_ptr, nullptr); }

    template <typename U>
    ComPtr<U> query(REFIID iid) const noexcept {
        ComPtr<U> result;
        if (m_ptr) m_ptr->QueryInterface(iid, result.put_void());
        return result;
    }

private:
    T* m_ptr = nullptr;
};

// CoInitializeEx for the current scope; uninitialises only when initialisation succeeded.
class ComInit {
public:
    explicit ComInit(DWORD model = COINIT_APARTMENTTHREADED) noexcept
        : m_hr(::CoInitializeEx(nullptr, model)) {}
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    ~ComInit() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }
    HRESULT result() const noexcept { return m_hr; }
    bool ok() const noexcept { return SUCCEEDED(m_hr) || m_hr == RPC_E_CHANGED_MODE; }

private:
    HRESULT m_hr;
};

}  // namespace win
