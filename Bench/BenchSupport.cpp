#include "BenchSupport.h"

#include <map>
#include <stdexcept>

#include <boost/json/parse.hpp>

#include <Kelvor/Log.h>
#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/detail/InputFile.h>

namespace ptfp_bench {

std::string read_file(const std::string& path) {
    plain_text_detail::InputFile file(path);
    if (!file.is_open()) {
        throw std::runtime_error("cannot open " + path);
    }
    std::string text = file.read_all();
    if (file.error() != 0) {
        throw std::runtime_error("cannot read " + path);
    }
    return text;
}

std::size_t run_floor(const std::string& path, const std::vector<OutputEntry>& entries) {
    std::map<std::string, std::string> out;
    const boost::json::value document =
        boost::json::parse(read_file(path), boost::json::storage_ptr(), credential_parse_options());
    if (!document.is_object()) {
        throw std::runtime_error("the document is not a JSON object: " + path);
    }
    for (const OutputEntry& entry : entries) {
        out.try_emplace(entry.key, entry.value);
    }
    return out.size();
}

void silence_log() {
    Kelvor::Log::SetSink([](const Kelvor::LogRecord&) {});
}

}  // namespace ptfp_bench
