#include "render/JsonWriter.h"

#include "render/TerminalWriter.h"
#include "text/SafeText.h"

namespace credcheck {

namespace {

// Output is written out in blocks of about this size.
constexpr std::size_t BLOCK = 64 * 1024;

}  // namespace

json_writer::json_writer(std::ostream& out, const secret_mask& mask) : out_(out), mask_(&mask) {
    buffer_.reserve(BLOCK * 2);
}

// What goes before a value: nothing after a member's name; else a comma after an earlier item,
// and a new line and indentation unless the container is written on one line.
void json_writer::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (levels_.empty()) {
        return;
    }
    level& current = levels_.back();
    if (!current.empty) {
        buffer_ += ',';
    }
    if (!current.inline_items) {
        buffer_ += '\n';
        buffer_.append(levels_.size() * 2, ' ');
    }
    current.empty = false;
}

void json_writer::open(char bracket, bool inline_items) {
    before_value();
    buffer_ += bracket;
    // Inside a container written on one line, everything stays on that line.
    const bool parent_inline = !levels_.empty() && levels_.back().inline_items;
    levels_.push_back({inline_items || parent_inline});
}

void json_writer::close(char bracket) {
    const level closed = levels_.back();
    levels_.pop_back();
    if (!closed.empty && !closed.inline_items) {
        buffer_ += '\n';
        buffer_.append(levels_.size() * 2, ' ');
    }
    buffer_ += bracket;
    flush_if_full();
}

void json_writer::begin_object(bool inline_items) {
    open('{', inline_items);
}

void json_writer::end_object() {
    close('}');
}

void json_writer::begin_array(bool inline_items) {
    open('[', inline_items);
}

void json_writer::end_array() {
    close(']');
}

json_writer& json_writer::key(std::string_view name) {
    before_value();
    buffer_ += '"';
    buffer_ += json_escaped(name);
    // Items on one line are written tight: a fleet's report lists millions of them.
    buffer_ += levels_.back().inline_items ? "\":" : "\": ";
    after_key_ = true;
    return *this;
}

void json_writer::value(std::string_view own) {
    before_value();
    buffer_ += '"';
    buffer_ += json_escaped(own);
    buffer_ += '"';
}

void json_writer::value(file_text text) {
    before_value();
    buffer_ += '"';
    buffer_ += masked_text(text.text, *mask_, json_escaped);
    buffer_ += '"';
}

void json_writer::value(key_text text) {
    before_value();
    buffer_ += '"';
    buffer_ += masked_key(text.text, *mask_, json_escaped);
    buffer_ += '"';
}

void json_writer::value(const report_text& text) {
    before_value();
    buffer_ += '"';
    for (const text_piece& piece : text.pieces()) {
        switch (piece.from) {
            case origin::own:
                buffer_ += json_escaped(piece.text);
                break;
            case origin::file:
                buffer_ += masked_text(piece.text, *mask_, json_escaped);
                break;
            case origin::key:
                buffer_ += masked_key(piece.text, *mask_, json_escaped);
                break;
        }
    }
    buffer_ += '"';
}

void json_writer::value(std::uint64_t number) {
    before_value();
    buffer_ += std::to_string(number);
}

void json_writer::value(std::int64_t number) {
    before_value();
    buffer_ += std::to_string(number);
}

void json_writer::value(bool flag) {
    before_value();
    buffer_ += flag ? "true" : "false";
}

void json_writer::null() {
    before_value();
    buffer_ += "null";
}

void json_writer::flush_if_full() {
    if (buffer_.size() < BLOCK) {
        return;
    }
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    if (!out_) {
        throw output_failed();
    }
}

void json_writer::finish() {
    buffer_ += '\n';
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    if (!out_) {
        throw output_failed();
    }
}

}  // namespace credcheck
