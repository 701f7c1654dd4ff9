// CPtrArray and CTypedPtrArray: the platform's growable pointer arrays. They hold the
// pointers only; what the pointers point to belongs to whoever filled the array. Values
// without locks: one thread at a time per array. Indexes are ints; GetAt, ElementAt,
// SetAt and operator[] outside the array throw std::out_of_range instead of reading past it.
#pragma once

#include <algorithm>
#include <vector>

#include <vorm/platform/wintypes.h>

// An array of pointers of type TYPE. `BASE` names the untyped array the platform derives
// it from (CPtrArray, CObArray); the storage here is typed directly, so it only documents
// the intent.
template <class BASE, class TYPE>
class CTypedPtrArray {
 public:
  int GetSize() const { return static_cast<int>(v_.size()); }
  int GetCount() const { return GetSize(); }
  bool IsEmpty() const { return v_.empty(); }
  int GetUpperBound() const { return GetSize() - 1; }
  // Grows with null pointers or cuts (the cut pointers are not released).
  void SetSize(int size) { v_.resize(size > 0 ? static_cast<size_t>(size) : 0); }
  TYPE GetAt(int i) const { return v_.at(Index(i)); }
  TYPE& ElementAt(int i) { return v_.at(Index(i)); }
  void SetAt(int i, TYPE p) { v_.at(Index(i)) = p; }
  void SetAtGrow(int i, TYPE p) {
    if (i < 0) return;
    if (static_cast<size_t>(i) >= v_.size()) v_.resize(static_cast<size_t>(i) + 1);
    v_[static_cast<size_t>(i)] = p;
  }
  int Add(TYPE p) {
    v_.push_back(p);
    return GetSize() - 1;
  }
  // Appends the other array's pointers; returns the index of the first one.
  int Append(const CTypedPtrArray& other) {
    const int first = GetSize();
    v_.insert(v_.end(), other.v_.begin(), other.v_.end());
    return first;
  }
  void InsertAt(int i, TYPE p, int count = 1) {
    if (i < 0 || count <= 0) return;
    if (static_cast<size_t>(i) > v_.size()) v_.resize(static_cast<size_t>(i));
    v_.insert(v_.begin() + i, static_cast<size_t>(count), p);
  }
  void RemoveAt(int i, int count = 1) {
    if (i < 0 || count <= 0 || static_cast<size_t>(i) >= v_.size()) return;
    const size_t end = std::min(v_.size(), static_cast<size_t>(i) + static_cast<size_t>(count));
    v_.erase(v_.begin() + i, v_.begin() + static_cast<std::ptrdiff_t>(end));
  }
  void RemoveAll() { v_.clear(); }
  TYPE operator[](int i) const { return GetAt(i); }
  TYPE& operator[](int i) { return ElementAt(i); }
  TYPE* GetData() { return v_.data(); }

  auto begin() { return v_.begin(); }
  auto end() { return v_.end(); }
  auto begin() const { return v_.begin(); }
  auto end() const { return v_.end(); }

 private:
  static size_t Index(int i) { return i < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(i); }
  std::vector<TYPE> v_;
};

// The untyped array: pointers to anything.
class CPtrArray : public CTypedPtrArray<void, void*> {};
