#include "JsonPretty.h"

#include <string>

#include <boost/json/serialize.hpp>

namespace credcheck {

namespace {

void write_value(std::ostream& out, const boost::json::value& value, std::size_t depth);

void newline_and_indent(std::ostream& out, std::size_t depth) {
    out << '\n' << std::string(depth * 2, ' ');
}

void write_object(std::ostream& out, const boost::json::object& object, std::size_t depth) {
    if (object.empty()) {
        out << "{}";
        return;
    }
    out << '{';
    bool first = true;
    for (const auto& member : object) {
        out << (first ? "" : ",");
        first = false;
        newline_and_indent(out, depth + 1);
        out << boost::json::serialize(boost::json::string_view(member.key())) << ": ";
        write_value(out, member.value(), depth + 1);
    }
    newline_and_indent(out, depth);
    out << '}';
}

void write_array(std::ostream& out, const boost::json::array& array, std::size_t depth) {
    if (array.empty()) {
        out << "[]";
        return;
    }
    out << '[';
    bool first = true;
    for (const boost::json::value& element : array) {
        out << (first ? "" : ",");
        first = false;
        newline_and_indent(out, depth + 1);
        write_value(out, element, depth + 1);
    }
    newline_and_indent(out, depth);
    out << ']';
}

void write_value(std::ostream& out, const boost::json::value& value, std::size_t depth) {
    if (const boost::json::object* object = value.if_object()) {
        write_object(out, *object, depth);
    } else if (const boost::json::array* array = value.if_array()) {
        write_array(out, *array, depth);
    } else {
        out << boost::json::serialize(value);
    }
}

}  // namespace

void write_pretty_json(std::ostream& out, const boost::json::value& value) {
    write_value(out, value, 0);
    out << '\n';
}

}  // namespace credcheck
