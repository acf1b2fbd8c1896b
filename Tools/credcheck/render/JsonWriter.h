#pragma once
// JSON for scripts, written as it goes: no document is built in memory first, whatever the size
// of the report.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "text/ReportText.h"
#include "text/SecretMask.h"

namespace credcheck {

/// Writes one JSON value with two-space indentation. A container opened `inline` goes on one
/// line, without spaces, as the items of a long list do. Every string is valid UTF-8 JSON whatever
/// it holds: the tool's own words as they are, the file's text with its passwords masked before and
/// after escaping, keys whole. The writer keeps a block of output and writes it out as it fills;
/// `finish` writes the rest. Throws output_failed when the output has failed.
class json_writer {
public:
    /// `mask` must outlive the writer.
    json_writer(std::ostream& out, const secret_mask& mask);

    void begin_object(bool inline_items = false);
    void end_object();
    void begin_array(bool inline_items = false);
    void end_array();
    /// The name of the next member of the current object.
    json_writer& key(std::string_view name);

    void value(std::string_view own);
    void value(const char* own) { value(std::string_view(own)); }
    void value(file_text text);
    void value(key_text text);
    void value(const report_text& text);
    void value(std::uint64_t number);
    void value(std::int64_t number);
    void value(int number) { value(std::int64_t{number}); }
    void value(unsigned number) { value(std::uint64_t{number}); }
    void value(bool flag);
    void null();

    /// Masks with `mask` from here on; it must outlive the writer.
    void use_mask(const secret_mask& mask) { mask_ = &mask; }

    /// Ends the document with a line end and writes out what is left.
    void finish();

private:
    struct level {
        bool inline_items;
        bool empty = true;
    };
    void before_value();
    void open(char bracket, bool inline_items);
    void close(char bracket);
    void flush_if_full();

    std::ostream& out_;
    const secret_mask* mask_;
    std::vector<level> levels_;
    std::string buffer_;
    bool after_key_ = false;
};

}  // namespace credcheck
