// IUnknown for an object of the program's own that implements one COM interface.
// The system may call it from threads of its own, so the count is interlocked; the
// object lives on the heap and deletes itself with its last reference.
#pragma once

#include <windows.h>

template <typename TInterface> class TComObject : public TInterface {
public:
  virtual ~TComObject() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Id, void **Object) override {
    if (Id == __uuidof(IUnknown) || Id == __uuidof(TInterface)) {
      AddRef();
      *Object = static_cast<TInterface *>(this);
      return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&References));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG Left = InterlockedDecrement(&References);
    if (Left == 0)
      delete this;
    return static_cast<ULONG>(Left);
  }

private:
  LONG References = 1;
};
