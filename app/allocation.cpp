// The program's own allocation functions. It is built without exceptions, and the
// library's would bring the whole exception runtime into the program (three times
// its size) for an out-of-memory throw that nothing catches. Here a failed
// allocation is a null pointer, and every allocation is a nothrow one that is
// tested for it.
#include <cstdlib>
#include <new>

void *operator new(std::size_t Size, const std::nothrow_t &) noexcept {
  return std::malloc(Size == 0 ? 1 : Size);
}

void operator delete(void *Block) noexcept { std::free(Block); }

void operator delete(void *Block, std::size_t) noexcept { std::free(Block); }
