#include "JsonReport.h"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

namespace credcheck {

namespace {

template <class T>
boost::json::value optional_value(const std::optional<T>& value) {
    if (!value) {
        return nullptr;
    }
    return boost::json::value(*value);
}

boost::json::object result_object(const CorvexResult& result) {
    const result_description description = describe_result(result.code);
    return {{"code", result.code},
            {"hex", description.hex},
            {"name", description.name},
            {"message", description.message},
            {"detail", result.message}};
}

boost::json::array entries_array(const report& r) {
    boost::json::array entries;
    for (const auto& [key, password] : r.entries) {
        entries.push_back(
            boost::json::object{{"key", key}, {"value", shown_password(password, r.reveal)}});
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

boost::json::object diagnostics_object(const diagnostics& diag) {
    boost::json::array keys;
    for (const key_binding& key : diag.keys) {
        keys.push_back(boost::json::object{{"key", key.key},
                                           {"bound", optional_value(key.bound)},
                                           {"failure", optional_value(key.failure)}});
    }
    boost::json::array unknown;
    for (const unknown_alias& alias : diag.unknown_aliases) {
        unknown.push_back(boost::json::object{
            {"list", alias.list}, {"entry", alias.entry}, {"alias", alias.alias}});
    }
    boost::json::value parse_error = nullptr;
    if (diag.parse_error) {
        parse_error = boost::json::object{{"message", diag.parse_error->message},
                                          {"line", diag.parse_error->line},
                                          {"column", diag.parse_error->column}};
    }
    return {{"file_error", optional_value(diag.file_error)},
            {"keys", std::move(keys)},
            {"unknown_aliases", std::move(unknown)},
            {"parse_error", std::move(parse_error)},
            {"permissions", optional_value(diag.permissions)}};
}

}  // namespace

boost::json::value json_report(const report& r) {
    return boost::json::object{{"file", r.file},
                               {"result", result_object(r.result)},
                               {"entries", entries_array(r)},
                               {"records", records_array(r)},
                               {"diagnostics", diagnostics_object(r.diag)}};
}

}  // namespace credcheck
