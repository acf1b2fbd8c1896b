#include "ParseRun.h"

#include <utility>

#include <PlainTextFileParser/PlainTextFileParser.h>

namespace credcheck {

namespace {

// Installs a sink for its lifetime and puts the previous one back afterwards.
class scoped_sink {
public:
    explicit scoped_sink(Kelvor::LogSink sink) : previous_(Kelvor::Log::SetSink(std::move(sink))) {}
    scoped_sink(const scoped_sink&) = delete;
    scoped_sink& operator=(const scoped_sink&) = delete;
    ~scoped_sink() { Kelvor::Log::SetSink(std::move(previous_)); }

private:
    Kelvor::LogSink previous_;
};

}  // namespace

parse_run run_parse(const std::string& path) {
    std::vector<Kelvor::LogRecord> records;
    std::map<std::string, std::string> entries;
    CorvexResult result = [&] {
        const scoped_sink capture(
            [&records](const Kelvor::LogRecord& record) { records.push_back(record); });
        return PlainTextParser::parse(path, entries);
    }();
    return parse_run{std::move(result), std::move(entries), std::move(records)};
}

}  // namespace credcheck
