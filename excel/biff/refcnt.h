#ifndef GRIDMOLT_BIFF_REFCNT_H
#define GRIDMOLT_BIFF_REFCNT_H

namespace RefCount {

// Intrusive, non-atomic use count. Objects start at 0; every SmartPtr that
// holds the object accounts for one use, and the last one to let go deletes it.
class RefCnt {
public:
    RefCnt() : useCount_(0) {}
    // A copy is a new object: it is held by nobody yet, whatever the source's count.
    RefCnt(const RefCnt&) : useCount_(0) {}
    // Assigning the contents never changes who holds this object.
    RefCnt& operator=(const RefCnt&) { return *this; }

    int UseCount() const { return useCount_; }
    void AddRef() { ++useCount_; }
    // Lowers the count and returns the new value; the caller deletes at 0.
    int Release() { return --useCount_; }

protected:
    // Deleted through the derived type only (SmartPtr<T> deletes a T*).
    ~RefCnt() = default;

private:
    int useCount_;
};

} // namespace RefCount

#endif
