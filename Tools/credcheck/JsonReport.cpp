#include "JsonReport.h"

#include <string>

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>

#include "SafeText.h"

namespace credcheck {

boost::json::value source_json(const file_walk& walk, entry_source source) {
    boost::json::value entry = nullptr;
    if (!plain_text_detail::is_password_member(source.member)) {
        entry = boost::json::string(source_entry(walk, source));
    }
    return boost::json::object{{"member", plain_text_detail::member_key(source.member)},
                               {"index", source.index},
                               {"entry", std::move(entry)}};
}

boost::json::object result_json(const CorvexResult& result) {
    const result_description description = describe_result(result.code);
    return {{"code", result.code},
            {"hex", description.hex},
            {"name", description.name},
            {"message", description.message},
            {"detail", result.message}};
}

namespace {

boost::json::array entries_array(const report& r) {
    boost::json::array entries;
    for (const handed_entry* entry : shown_entries(r)) {
        entries.push_back(boost::json::object{{"key", entry->key},
                                              {"value", shown_password(entry->value, r.reveal)},
                                              {"source", source_json(r.walk, entry->source)}});
    }
    return entries;
}

boost::json::array records_array(const report& r) {
    boost::json::array records;
    for (const Kelvor::LogRecord& record : r.records) {
        records.push_back(boost::json::object{{"level", record.level},
                                              {"file", record.file},
                                              {"line", record.line},
                                              {"text", record.text}});
    }
    return records;
}

const char* state_name(member_outcome::state how) {
    switch (how) {
        case member_outcome::state::not_reached:
            return "not_read";
        case member_outcome::state::bound:
            return "bound";
        case member_outcome::state::absent:
            return "absent";
        case member_outcome::state::unusable:
            return "unusable";
    }
    return "";
}

boost::json::array members_array(const file_walk& walk) {
    boost::json::array keys;
    for (std::size_t i = 0; i < MEMBER_COUNT; ++i) {
        const member_outcome& member = walk.members[i];
        const bool bound = member.how == member_outcome::state::bound;
        boost::json::value problem = nullptr;
        if (member.how == member_outcome::state::unusable) {
            problem = boost::json::string(member.problem);
        }
        keys.push_back(boost::json::object{
            {"key", plain_text_detail::member_key(static_cast<member_id>(i))},
            {"state", state_name(member.how)},
            {"bound", bound ? boost::json::value(member.items) : boost::json::value(nullptr)},
            {"problem", std::move(problem)}});
    }
    return keys;
}

boost::json::array shadowed_array(const report& r) {
    boost::json::array shadowed;
    for (const shadowed_key& key : r.walk.shadowed) {
        boost::json::array dropped;
        for (const dropped_value& value : key.dropped) {
            dropped.push_back(boost::json::object{{"source", source_json(r.walk, value.source)},
                                                  {"value", shown_password(value.value, r.reveal)},
                                                  {"same_value", value.value == key.kept_value}});
        }
        shadowed.push_back(boost::json::object{
            {"key", key.key},
            {"kept", boost::json::object{{"source", source_json(r.walk, key.kept)},
                                         {"value", shown_password(key.kept_value, r.reveal)}}},
            {"dropped", std::move(dropped)}});
    }
    return shadowed;
}

boost::json::object diagnostics_object(const report& r) {
    const file_walk& walk = r.walk;
    boost::json::array unknown;
    for (const unknown_alias& alias : walk.unknown_aliases) {
        unknown.push_back(boost::json::object{{"source", source_json(walk, alias.source)},
                                              {"alias", alias.alias}});
    }
    boost::json::array rejected;
    for (const rejected_scope& scope : walk.rejected_scopes) {
        rejected.push_back(boost::json::object{{"source", source_json(walk, scope.source)},
                                               {"scope", scope.scope}});
    }
    boost::json::array warnings;
    for (const warning& w : r.warnings) {
        warnings.push_back(boost::json::object{{"kind", w.kind}, {"message", w.message}});
    }
    boost::json::value file_error = nullptr;
    if (walk.refusal) {
        file_error = boost::json::string(walk.refusal->reason);
    }
    boost::json::value parse_error = nullptr;
    if (walk.document_error) {
        parse_error = boost::json::object{{"message", walk.document_error->message},
                                          {"line", walk.document_error->line},
                                          {"column", walk.document_error->column}};
    }
    return {{"file_error", std::move(file_error)},
            {"parse_error", std::move(parse_error)},
            {"keys", members_array(walk)},
            {"unknown_aliases", std::move(unknown)},
            {"rejected_scopes", std::move(rejected)},
            {"shadowed", shadowed_array(r)},
            {"warnings", std::move(warnings)}};
}

boost::json::object summary_object(const report& r) {
    const file_walk& walk = r.walk;
    return {{"entries", walk.entries.size()},
            {"shadowed", walk.shadowed.size()},
            {"unknown_aliases", walk.unknown_aliases.size()},
            {"rejected_scopes", walk.rejected_scopes.size()},
            {"unusable_members", unusable_members(walk)},
            {"warnings", r.warnings.size()}};
}

void write_value(std::ostream& out, const boost::json::value& value, const secret_mask& mask,
                 std::size_t depth);

void newline_and_indent(std::ostream& out, std::size_t depth) {
    out << '\n' << std::string(depth * 2, ' ');
}

void write_object(std::ostream& out, const boost::json::object& object, const secret_mask& mask,
                  std::size_t depth) {
    if (object.empty()) {
        out << "{}";
        return;
    }
    out << '{';
    const char* separator = "";
    for (const auto& member : object) {
        out << separator;
        separator = ",";
        newline_and_indent(out, depth + 1);
        out << json_quoted(member.key()) << ": ";
        write_value(out, member.value(), mask, depth + 1);
    }
    newline_and_indent(out, depth);
    out << '}';
}

void write_array(std::ostream& out, const boost::json::array& array, const secret_mask& mask,
                 std::size_t depth) {
    if (array.empty()) {
        out << "[]";
        return;
    }
    out << '[';
    const char* separator = "";
    for (const boost::json::value& element : array) {
        out << separator;
        separator = ",";
        newline_and_indent(out, depth + 1);
        write_value(out, element, mask, depth + 1);
    }
    newline_and_indent(out, depth);
    out << ']';
}

void write_value(std::ostream& out, const boost::json::value& value, const secret_mask& mask,
                 std::size_t depth) {
    if (const boost::json::object* object = value.if_object()) {
        write_object(out, *object, mask, depth);
    } else if (const boost::json::array* array = value.if_array()) {
        write_array(out, *array, mask, depth);
    } else if (const boost::json::string* text = value.if_string()) {
        out << json_quoted(mask.apply(*text));
    } else {
        out << boost::json::serialize(value);
    }
}

}  // namespace

boost::json::value json_report(const report& r) {
    if (r.host) {
        return boost::json::object{{"file", r.walk.path},
                                   {"host", *r.host},
                                   {"result", result_json(r.walk.result)},
                                   {"entries", entries_array(r)}};
    }
    return boost::json::object{
        {"file", r.walk.path},          {"result", result_json(r.walk.result)},
        {"summary", summary_object(r)}, {"entries", entries_array(r)},
        {"records", records_array(r)},  {"diagnostics", diagnostics_object(r)}};
}

void write_json(std::ostream& out, const boost::json::value& value, const secret_mask& mask) {
    write_value(out, value, mask, 0);
    out << '\n';
}

}  // namespace credcheck
