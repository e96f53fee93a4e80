// The MinGW runtime's default handler for an exception nobody catches prints
// the exception's demangled type to the standard error, which a GUI program
// does not have; it brings the whole C++ name demangler into the executable
// (about a twentieth of its size). This one ends the process the same way
// without printing. The program throws nothing across its own code, so the
// handler only runs on a fault.
#include <cstdlib>  // first: it says which C++ library this is

#if defined(__GLIBCXX__) && defined(__MINGW32__)

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif
