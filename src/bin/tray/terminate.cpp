// Linked into the product only (tests keep the stock handler and its message).
#include <cstdlib>

namespace __gnu_cxx {

// The stock handler prints the uncaught exception's demangled type to
// standard error before aborting. A GUI program has no standard error to show
// it on, and the demangler it drags in is about 45 KiB of the exe, so this
// one only aborts, as the stock one does after printing.
void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx
