#pragma once
// Indented JSON text.

#include <ostream>

#include <boost/json/value.hpp>

namespace credcheck {

/// Writes `value` with two-space indentation, one member or element per line, and a final
/// newline. Scalars and strings are written by Boost.JSON's serializer.
void write_pretty_json(std::ostream& out, const boost::json::value& value);

}  // namespace credcheck
