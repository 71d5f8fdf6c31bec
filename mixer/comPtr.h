// Holds one COM interface pointer and releases it with itself, so no exit path has
// to remember a Release.
#pragma once

#include <unknwn.h>

template <typename T> class TComPtr {
public:
  TComPtr() = default;
  TComPtr(const TComPtr &Other) : Pointer(Other.Pointer) {
    if (Pointer != nullptr)
      Pointer->AddRef();
  }
  TComPtr(TComPtr &&Other) noexcept : Pointer(Other.Pointer) { Other.Pointer = nullptr; }
  TComPtr &operator=(TComPtr Other) {
    T *Old = Pointer;
    Pointer = Other.Pointer;
    Other.Pointer = Old;
    return *this;
  }
  ~TComPtr() { Reset(); }

  // Takes over a reference the caller already holds, such as a fresh object's own.
  static TComPtr Adopt(T *Owned) {
    TComPtr Result;
    Result.Pointer = Owned;
    return Result;
  }

  void Reset() {
    T *Old = Pointer;
    Pointer = nullptr;
    if (Old != nullptr)
      Old->Release();
  }

  // For a call that hands out a new reference through a T ** or void ** argument.
  T **Out() {
    Reset();
    return &Pointer;
  }
  void **OutVoid() { return reinterpret_cast<void **>(Out()); }

  T *Get() const { return Pointer; }
  T *operator->() const { return Pointer; }
  explicit operator bool() const { return Pointer != nullptr; }

private:
  T *Pointer = nullptr;
};
