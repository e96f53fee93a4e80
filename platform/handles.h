// Ownership of the handles the program itself creates: process handles,
// image lists, GDI bitmaps and the icons it draws at another size. Move-only;
// copying does not compile. Icons of other windows are never wrapped: the
// program does not own them.
#pragma once

#include <utility>

#include "platform/desktop.h"

template <typename Traits>
class UniqueHandle {
public:
    typedef typename Traits::Type Type;

    UniqueHandle() noexcept : value_(Traits::invalid()) {}
    explicit UniqueHandle(Type value) noexcept : value_(value) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle &) = delete;
    UniqueHandle &operator=(const UniqueHandle &) = delete;
    UniqueHandle(UniqueHandle &&other) noexcept : value_(other.release()) {}
    UniqueHandle &operator=(UniqueHandle &&other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

    Type release() noexcept {
        Type value = value_;
        value_ = Traits::invalid();
        return value;
    }
    void reset(Type value = Traits::invalid()) noexcept {
        if (value_ != Traits::invalid()) Traits::close(value_);
        value_ = value;
    }

private:
    Type value_;
};

// Process, thread and event handles: all closed with CloseHandle.
struct KernelHandleTraits {
    typedef HANDLE Type;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type value) noexcept { desk::closeHandle(value); }
};
struct ImageListTraits {
    typedef HIMAGELIST Type;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type value) noexcept { desk::imageListDestroy(value); }
};
struct BitmapTraits {
    typedef HBITMAP Type;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type value) noexcept { desk::deleteObject(value); }
};

// Icons the program made itself (desk::copyIcon), never another window's.
struct IconTraits {
    typedef HICON Type;
    static Type invalid() noexcept { return nullptr; }
    static void close(Type value) noexcept { desk::destroyIcon(value); }
};

typedef UniqueHandle<KernelHandleTraits> UniqueProcess;
typedef UniqueHandle<KernelHandleTraits> UniqueKernelHandle;
typedef UniqueHandle<ImageListTraits> UniqueImageList;
typedef UniqueHandle<BitmapTraits> UniqueBitmap;
typedef UniqueHandle<IconTraits> UniqueIcon;
