#pragma once
// A failure that a handler does not handle itself goes to the application's
// default error report: a box with the failure's message, after which the
// program runs on. Every window's handlers hand such failures over at their
// own edge (TWDXStdForm::OnEvent binds them so) rather than letting them
// unwind through the toolkit's signal and event code, which is not built to
// be unwound through.

#include <exception>
#include <utility>

namespace wdx::common {

// Shows Failure the way the application shows an exception that escaped a
// handler.
void ReportFailure(const std::exception_ptr& Failure);

// Runs one handler; whatever escapes it is reported.
template <class F> void RunHandler(F&& Body) {
    try {
        std::forward<F>(Body)();
    } catch (...) {
        ReportFailure(std::current_exception());
    }
}

} // namespace wdx::common
