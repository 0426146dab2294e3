// Running out of memory ends zorvi-report with one line and status 1, however early it happens.
// The option parser's globals allocate before main; when that fails, or when an exception
// cannot be allocated for want of memory, the run-time library calls std::terminate with no
// exception in flight, which would abort. The handlers installed here, before any other global
// is made, turn that case into the report's own out-of-memory line.
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <new>

namespace {

std::atomic<bool> allocation_failed{false};
std::terminate_handler usual_terminate = nullptr;

// Called by operator new when it finds no memory: noted, then thrown as usual.
void note_failed_allocation() {
    allocation_failed.store(true);
    throw std::bad_alloc();
}

// No memory now: an allocation failed, or even a small one fails.
bool out_of_memory() {
    if (allocation_failed.load()) return true;
    void* probe = std::malloc(256);
    std::free(probe);
    return probe == nullptr;
}

[[noreturn]] void end_run() {
    if (std::current_exception() == nullptr && out_of_memory()) {
        constexpr char line[] = "zorvi-report: out of memory\n";
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, sizeof line - 1);
        ::_exit(1);
    }
    if (usual_terminate != nullptr) usual_terminate();
    std::abort();
}

// Priority 101, the first a program may use: before every global of default priority.
__attribute__((constructor(101))) void install_memory_handlers() {
    std::set_new_handler(note_failed_allocation);
    usual_terminate = std::set_terminate(end_run);
}

}  // namespace
