// The one way into the library from C: every exported function runs its body
// through callFromHost, which checks the thread and keeps every C++
// exception inside the library.
#ifndef KIVWEBVIEW_C_BOUNDARY_H
#define KIVWEBVIEW_C_BOUNDARY_H

#include "kivwebview_qt.h"

#include <type_traits>

// Why a call gives its failure value instead of its body's result.
enum class Refusal {
    // Another thread than the library's, or the library has shut down.
    wrongThread,
    // The body threw (memory exhausted, or anything else inside), or
    // produced no record.
    fault,
};

// True on the thread that made the first call, until the library shuts
// down at exit.
bool onLibraryThread();

// Runs body() on the library's thread and returns its result; returns
// failure(refusal) when called from another thread, when body throws, and,
// for a record, when body gives none. No exception leaves it: an exception
// unwinding into the host's C frames is undefined behaviour.
template <typename Body, typename Failure>
auto callFromHost(Body &&body, Failure &&failure) noexcept -> decltype(body())
{
    using Result = decltype(body());
    static_assert(noexcept(failure(Refusal::fault)), "a failure value must not throw");
    Refusal refusal = Refusal::wrongThread;
    try {
        if (onLibraryThread()) {
            refusal = Refusal::fault;
            if constexpr (std::is_void_v<Result>) {
                body();
                return;
            } else if constexpr (std::is_pointer_v<Result>) {
                if (Result record = body())
                    return record;
            } else {
                return body();
            }
        }
    } catch (...) {
        refusal = Refusal::fault;
    }
    return failure(refusal);
}

#endif // KIVWEBVIEW_C_BOUNDARY_H
