#ifndef GRIDMOLT_BIFF_SMARTPTR_H
#define GRIDMOLT_BIFF_SMARTPTR_H

#include "biff/refcnt.h"

namespace RefCount {

// Shared ownership of an object derived from RefCnt; the count lives in the object.
template <typename T>
class SmartPtr {
public:
    SmartPtr() : ptr_(nullptr) {}
    SmartPtr(T* p) : ptr_(p) { Acquire(); }
    SmartPtr(const SmartPtr& other) : ptr_(other.ptr_) { Acquire(); }
    SmartPtr(SmartPtr&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
    ~SmartPtr() { Drop(); }

    SmartPtr& operator=(T* p)
    {
        // Take the new reference first so that assigning the held object keeps it alive.
        T* old = ptr_;
        ptr_ = p;
        Acquire();
        Drop(old);
        return *this;
    }
    SmartPtr& operator=(const SmartPtr& other) { return *this = other.ptr_; }
    SmartPtr& operator=(SmartPtr&& other) noexcept
    {
        if (this != &other) {
            T* old = ptr_;
            ptr_ = other.ptr_;
            other.ptr_ = nullptr;
            Drop(old);
        }
        return *this;
    }

    T* operator->() const { return ptr_; }
    T& operator*() const { return *ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    T* get() const { return ptr_; }

private:
    void Acquire()
    {
        if (ptr_)
            ptr_->AddRef();
    }
    static void Drop(T* p)
    {
        if (p && p->Release() == 0)
            delete p;
    }
    void Drop() { Drop(ptr_); }

    T* ptr_;
};

} // namespace RefCount

#endif
