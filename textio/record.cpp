// The record being composed by an output statement: static room first, the heap beyond it.
#include <algorithm>
#include <limits>
#include <new>

#include "textio/unit_impl.hpp"

namespace zorvi::textio::detail {

void Record::grow(std::size_t count) {
    if (count > std::numeric_limits<std::size_t>::max() / 2 - size_) fail_out_of_memory();
    const std::size_t capacity = std::max(size_ + count, 2 * capacity_);
    std::unique_ptr<char[]> heap(new (std::nothrow) char[capacity]);
    if (!heap) fail_out_of_memory();
    std::memcpy(heap.get(), chars_, size_);
    heap_ = std::move(heap);
    chars_ = heap_.get();
    capacity_ = capacity;
}

Record& record_buffer() {
    static Record record;
    record.clear();
    return record;
}

}  // namespace zorvi::textio::detail
