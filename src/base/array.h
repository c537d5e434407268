// Growable arrays: the one family of containers the launcher uses.
//
// ArrayView<T>       pointer + length, owns nothing.
// Array<T>           adds a capacity and owns one block from the C heap.
// TerminatedArray<T> keeps a zero element at data[length] after every resize.
//
// Every allocation goes through growCapacity() (array.cpp), which is the only
// place that knows the growth rule. Storage is taken with realloc and given back
// with free, so adopt() accepts only blocks from that heap.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace tarn {

// Capacity (in elements) that the growth rule gives for `needed` elements.
int32_t growCapacity(int32_t capacity, int32_t needed);

// realloc that ends the process with "Out of memory." (status 10) on failure.
void* reallocOrDie(void* block, size_t elements, size_t elementSize);

template <typename T> int32_t countToZero(const T* p) {
    if (p == nullptr)
        return 0;
    int32_t n = 0;
    while (p[n] != T(0))
        ++n;
    return n;
}

template <typename T> class ArrayView {
  public:
    ArrayView() : data_(nullptr), length_(0) {}
    ArrayView(const T* data, int32_t length)
        : data_(const_cast<T*>(data)), length_(length < 0 ? countToZero(data) : length) {}
    // Up to the first zero element.
    ArrayView(const T* zeroTerminated)
        : data_(const_cast<T*>(zeroTerminated)), length_(countToZero(zeroTerminated)) {}
    ArrayView(const ArrayView& other) = default;
    ArrayView& operator=(const ArrayView& other) = default;
    virtual ~ArrayView() {}

    T* data() const { return data_; }
    int32_t length() const { return length_; }
    bool isEmpty() const { return length_ == 0; }
    T& operator[](int32_t i) const { return data_[i]; }

  protected:
    T* data_;
    int32_t length_;
};

template <typename T> class Array : public ArrayView<T> {
  public:
    Array() : capacity_(0) {}
    Array(const T* source, int32_t n) : capacity_(0) {
        if (n < 0)
            n = countToZero(source);
        Array::resize(n);
        copyIn(0, source, n);
    }
    Array(const Array& other) : ArrayView<T>(), capacity_(0) {
        Array::resize(other.length_);
        copyIn(0, other.data_, other.length_);
    }
    Array(Array&& other) : ArrayView<T>(), capacity_(0) { takeFrom(other); }
    Array& operator=(const Array& other) {
        if (this != &other) {
            this->resize(other.length_);
            copyIn(0, other.data_, other.length_);
        }
        return *this;
    }
    Array& operator=(Array&& other) {
        if (this != &other) {
            reset();
            takeFrom(other);
            this->resize(this->length_);
        }
        return *this;
    }
    ~Array() override { free(this->data_); }

    int32_t capacity() const { return capacity_; }

    virtual void resize(int32_t n) {
        reserve(n);
        this->length_ = n;
    }

    void reserve(int32_t needed) {
        if (capacity_ >= needed)
            return;
        int32_t grown = growCapacity(capacity_, needed);
        this->data_ = static_cast<T*>(reallocOrDie(this->data_, grown, sizeof(T)));
        capacity_ = grown;
    }

    // Opens n elements at pos (0 <= pos <= length) for the caller to fill.
    T* insertGap(int32_t pos, int32_t n) {
        int32_t old = this->length_;
        this->resize(old + n);
        memmove(this->data_ + pos + n, this->data_ + pos, size_t(old - pos) * sizeof(T));
        return this->data_ + pos;
    }

    void append(const T* source, int32_t n) {
        if (n < 0)
            n = countToZero(source);
        if (n == 0)
            return;
        // The source may live in our own block, which the resize can move.
        if (source >= this->data_ && source < this->data_ + capacity_) {
            ptrdiff_t offset = source - this->data_;
            T* gap = insertGap(this->length_, n);
            memcpy(gap, this->data_ + offset, size_t(n) * sizeof(T));
            return;
        }
        T* gap = insertGap(this->length_, n);
        memcpy(gap, source, size_t(n) * sizeof(T));
    }
    void append(const ArrayView<T>& view) { append(view.data(), view.length()); }
    void appendOne(T value) { *insertGap(this->length_, 1) = value; }

    void adopt(T* block, int32_t n) {
        free(this->data_);
        this->data_ = block;
        capacity_ = block ? n : 0;
        this->length_ = 0;
        this->resize(n);
    }

    T* detach() {
        T* block = this->data_;
        this->data_ = nullptr;
        this->length_ = 0;
        capacity_ = 0;
        return block;
    }

    void reset() { free(detach()); }

  protected:
    void copyIn(int32_t pos, const T* source, int32_t n) {
        if (n > 0)
            memcpy(this->data_ + pos, source, size_t(n) * sizeof(T));
    }
    void takeFrom(Array& other) {
        this->length_ = other.length_;
        capacity_ = other.capacity_;
        this->data_ = other.detach();
    }

    int32_t capacity_;
};

template <typename T> class TerminatedArray : public Array<T> {
  public:
    TerminatedArray() {}
    TerminatedArray(const T* source, int32_t n) {
        if (n < 0)
            n = countToZero(source);
        TerminatedArray::resize(n);
        this->copyIn(0, source, n);
    }
    TerminatedArray(const TerminatedArray& other) : Array<T>() {
        TerminatedArray::resize(other.length_);
        this->copyIn(0, other.data_, other.length_);
    }
    TerminatedArray(TerminatedArray&& other) : Array<T>() { this->takeFrom(other); }
    TerminatedArray& operator=(const TerminatedArray& other) = default;
    TerminatedArray& operator=(TerminatedArray&& other) = default;

    void resize(int32_t n) override {
        this->reserve(n + 1);
        this->data_[n] = T(0);
        this->length_ = n;
    }

    // Never null, always terminated: the form handed to C and OS functions.
    T* cStr() {
        resize(this->length_);
        return this->data_;
    }
    // Every resize keeps the terminator, so a const string can hand out its text.
    const T* cStr() const {
        static const T empty = T(0);
        return this->data_ ? this->data_ : &empty;
    }
};

using ByteBuffer = Array<char>;
using IntArray = Array<int32_t>;
using WideBuffer = Array<char16_t>;
using StringView = ArrayView<char>;

} // namespace tarn
