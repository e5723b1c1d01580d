#pragma once
// One move-only owner for every kind of Windows handle. A traits type names the handle type,
// its invalid value and how it is released; the aliases below are the owners used everywhere.
#include <windows.h>
#include <utility>

namespace win {

template <typename Traits>
class UniqueHandle {
public:
    using handle_type = typename Traits::type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(handle_type handle) noexcept : m_handle(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    handle_type get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != Traits::invalid(); }

    handle_type release() noexcept { return std::exchange(m_handle, Traits::invalid()); }
    void reset(handle_type handle = Traits::invalid()) noexcept {
        handle_type old = std::exchange(m_handle, handle);
        if (old != Traits::invalid()) Traits::close(old);
    }
    // For output parameters: releases what is held and hands out the slot.
    handle_type* put() noexcept {
        reset();
        return &m_handle;
    }

private:
    handle_type m_handle = Traits::invalid();
};

struct KernelHandleTraits {
    using type = HANDLE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::FindClose(h); }
};
struct ModuleTraits {
    using type = HMODULE;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::FreeLibrary(h); }
};
struct IconTraits {
    using type = HICON;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DestroyIcon(h); }
};
struct GdiObjectTraits {
    using type = HGDIOBJ;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DeleteObject(h); }
};
struct LocalMemoryTraits {
    using type = HLOCAL;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::LocalFree(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;  // events, mutexes, threads, processes, tokens
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;

}  // namespace win
