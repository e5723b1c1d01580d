#pragma once
// Owners of memory that COM servers hand out with CoTaskMemAlloc: a single block (a string) and
// an array of such strings whose elements are freed one by one before the array itself.
#include <objbase.h>

#include <cstddef>
#include <utility>

namespace win {

template <typename T>
class CoTaskMemory {
public:
    CoTaskMemory() noexcept = default;
    explicit CoTaskMemory(T* ptr) noexcept : m_ptr(ptr) {}
    CoTaskMemory(const CoTaskMemory&) = delete;
    CoTaskMemory& operator=(const CoTaskMemory&) = delete;
    CoTaskMemory(CoTaskMemory&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    CoTaskMemory& operator=(CoTaskMemory&& other) noexcept {
        if (this != &other) reset(std::exchange(other.m_ptr, nullptr));
        return *this;
    }
    ~CoTaskMemory() { reset(); }

    T* get() const noexcept { return m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }
    void reset(T* ptr = nullptr) noexcept {
        if (T* old = std::exchange(m_ptr, ptr)) ::CoTaskMemFree(old);
    }
    T** put() noexcept {
        reset();
        return &m_ptr;
    }

private:
    T* m_ptr = nullptr;
};

using CoTaskString = CoTaskMemory<wchar_t>;

// An array of `count` strings as enumerators return them; set the count after the call fills it.
class CoTaskStringArray {
public:
    CoTaskStringArray() noexcept = default;
    CoTaskStringArray(const CoTaskStringArray&) = delete;
    CoTaskStringArray& operator=(const CoTaskStringArray&) = delete;
    ~CoTaskStringArray() { reset(); }

    wchar_t** get() const noexcept { return m_items; }
    size_t size() const noexcept { return m_items ? m_nCount : 0; }
    void set_size(size_t count) noexcept { m_nCount = count; }
    void reset() noexcept {
        if (m_items) {
            for (size_t i = 0; i < m_nCount; ++i) ::CoTaskMemFree(m_items[i]);
            ::CoTaskMemFree(m_items);
        }
        m_items = nullptr;
        m_nCount = 0;
    }
    wchar_t*** put() noexcept {
        reset();
        return &m_items;
    }

private:
    wchar_t** m_items = nullptr;
    size_t m_nCount = 0;
};

}  // namespace win
