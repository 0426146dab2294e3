// Free-format read statements: the unit's characters go to the free-format reader.
#include <array>

#include "textio/unit_impl.hpp"

namespace zorvi::textio {

void read_free(int unit, const Locus& locus, std::span<double> targets) {
    detail::Unit* source_unit = detail::find_unit(unit);
    if (source_unit == nullptr)
        fail_statement(locus, unit, "Read from a unit that is not connected");
    detail::note_statement(*source_unit, locus);
    if (source_unit->action == detail::Action::write) {
        fail_statement(locus, unit, "Cannot read from file opened for WRITE");
    }
    if (!source_unit->source) {
        source_unit->source.emplace(CharSource::from_fd(source_unit->fd, source_unit->input_chunk));
    }

    const ListReadResult result = read_list(*source_unit->source, targets);
    if (result.status == ListReadStatus::ok) return;
    if (result.status == ListReadStatus::end_of_file) {
        source_unit->end_state = detail::EndState::after_end;
    }
    std::array<char, max_list_read_message> message;
    fail_statement(locus, unit, list_read_message_to(message, result, *source_unit->source));
}

}  // namespace zorvi::textio
