#include "cli/Run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <unordered_set>
#include <utility>
#include <vector>

#include <PlainTextFileParser/detail/InputFile.h>
#include <PlainTextFileParser/detail/SecretMemory.h>

#include "findings/Suppressions.h"
#include "render/JsonWriter.h"
#include "render/Reporter.h"
#include "render/TerminalWriter.h"
#include "text/SafeText.h"
#include "walk/WorkTree.h"

namespace credcheck {

namespace {

namespace detail = plain_text_detail;

// What a run built is kept until the process ends: the system takes a process's memory back at
// once, where freeing a fleet-sized walk node by node, map entry by map entry, takes a good part
// of what the walk took (see the README's performance section). Reachable to the last, it is no
// leak to a leak checker either.
template <class Built>
const Built& kept_to_the_end(Built built) {
    static std::vector<std::unique_ptr<Built>>* kept = new std::vector<std::unique_ptr<Built>>;
    kept->push_back(std::make_unique<Built>(std::move(built)));
    return *kept->back();
}

// "credcheck: cannot read PATH: REASON", the path masked and escaped.
void cannot_read(std::ostream& err, const file_walk& walk, const secret_mask& mask) {
    err << "credcheck: cannot read " << masked_text(walk.path, mask, terminal_text) << ": "
        << walk.refusal->reason << '\n';
}

// "credcheck: cannot read NAME: longer than 256 MiB", for `file` of the command line: a stream
// (a pipe, a device) past the most the walk reads, which it did not parse at all. The name is
// escaped; no walk of it holds passwords to mask.
std::string too_long_reason() {
    return "longer than " + std::to_string(detail::STREAM_LIMIT >> 20) +
           " MiB, the most read from a stream";
}

int too_long(std::ostream& err, const std::string& file, const options& opts) {
    err << "credcheck: cannot read " << terminal_text(input_name(file, opts)) << ": "
        << too_long_reason() << "\n";
    return EXIT_TROUBLE;
}

using secret_store =
    std::vector<detail::secret_string, detail::wiping_allocator<detail::secret_string>>;

// The files of a run before any is reported. With several files every report masks every file's
// passwords, so they are gathered first: from each file's text alone, with one JSON pass; a
// stream cannot be read again, so it is walked at once and its walk kept for its report. A lone
// file is walked once, its walk kept.
struct prepared_run {
    std::vector<std::optional<file_walk>> kept;
    /// How many files are reported: all, or those before a stream longer than the walk reads.
    std::size_t reported = 0;
    secret_store secrets;
    std::shared_ptr<const secret_mask> mask;
};

prepared_run prepare(const options& opts) {
    prepared_run run;
    const std::size_t files = opts.files.size();
    run.kept.resize(files);
    const auto add = [&run](std::string_view secret) { run.secrets.emplace_back(secret); };
    for (run.reported = 0; run.reported < files; ++run.reported) {
        const std::string& file = opts.files[run.reported];
        try {
            if (files > 1 && read_secrets(input_path(file), add)) {
                continue;
            }
            file_walk walk = walk_input(file, opts);
            std::for_each(walk.index.secrets.begin(), walk.index.secrets.end(), add);
            run.kept[run.reported].emplace(std::move(walk));
        } catch (const detail::input_too_long&) {
            break;
        }
    }
    const std::vector<std::string_view> views(run.secrets.begin(), run.secrets.end());
    run.mask = std::make_shared<const secret_mask>(mask_for(views, opts.reveal));
    return run;
}

// The mask for the report of `walk`: the run's, unless the file now holds a password that the
// run did not gather (it changed since it was read), which a mask of its own covers as well.
std::shared_ptr<const secret_mask> mask_of(const file_walk& walk, const prepared_run& run,
                                           const options& opts) {
    const std::unordered_set<std::string_view> gathered(run.secrets.begin(), run.secrets.end());
    std::vector<std::string_view> views(run.secrets.begin(), run.secrets.end());
    bool more = false;
    for (const std::string& secret : walk.index.secrets) {
        if (gathered.count(secret) == 0) {
            views.push_back(secret);
            more = true;
        }
    }
    return more ? std::make_shared<const secret_mask>(mask_for(views, opts.reveal)) : run.mask;
}

}  // namespace

std::string input_name(const std::string& file, const options& opts) {
    return file == STANDARD_INPUT ? opts.stdin_name.value_or(file) : file;
}

file_walk walk_input(const std::string& file, const options& opts) {
    file_walk walk = walk_file(input_path(file));
    walk.path = input_name(file, opts);
    return walk;
}

report_settings settings_of(const options& opts) {
    report_settings settings;
    settings.reveal = opts.reveal;
    settings.verbose = opts.verbose;
    settings.all_keys = opts.all_keys;
    settings.host = opts.host;
    settings.findings.max_entries = opts.max_entries;
    settings.findings.check_password_quality = opts.strict;
    settings.findings.min_password_bits = opts.min_password_bits;
    settings.findings.ignored = opts.ignore;
    return settings;
}

report_settings settings_of(const options& opts, const std::string& file) {
    report_settings settings = settings_of(opts);
    settings.findings.check_file_mode = opts.check_file_mode || !in_git_work_tree(input_path(file));
    return settings;
}

file_report build_report(const std::string& file, const options& opts) {
    file_walk walk = walk_input(file, opts);
    auto mask = std::make_shared<const secret_mask>(mask_for(walk, opts.reveal));
    return build_report(std::move(walk), settings_of(opts, file), std::move(mask));
}

int exit_status_for(const file_report& r, const options& opts) {
    if (r.walk.refusal) {
        return EXIT_TROUBLE;
    }
    if (r.walk.result.code != RESULT_SUCCEED || (opts.strict && has_findings(r))) {
        return EXIT_FINDINGS;
    }
    if (r.host && shown_entries(r).empty()) {
        return EXIT_FINDINGS;
    }
    return EXIT_CLEAN;
}

bool colour_wanted(colour_mode mode) {
    const auto value_of = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string_view(value != nullptr ? value : "");
    };
    switch (mode) {
        case colour_mode::always:
            return true;
        case colour_mode::never:
            return false;
        case colour_mode::automatic:
            break;
    }
    // NO_COLOR with any value but the empty one turns colour off, "0" too; a terminal that
    // says it is dumb has none. FORCE_COLOR colours a pipe unless it is "0".
    if (::isatty(STDOUT_FILENO) == 1) {
        return value_of("NO_COLOR").empty() && value_of("TERM") != "dumb";
    }
    const std::string_view force = value_of("FORCE_COLOR");
    return !force.empty() && force != "0";
}

namespace {

// Writes `entries` to the baseline file at `path`, through a file beside it that then takes its
// place, so that a run cut short leaves the old baseline whole. Returns false, having said why
// on `err`, when it cannot.
bool write_baseline_file(const std::string& path, std::vector<baseline_entry> entries,
                         std::ostream& err) {
    const std::string written = path + ".new";
    {
        std::ofstream file(written, std::ios::binary | std::ios::trunc);
        try {
            write_baseline(file, std::move(entries));
        } catch (const output_failed&) {
        }
        file.close();
        if (file && std::rename(written.c_str(), path.c_str()) == 0) {
            return true;
        }
    }
    err << "credcheck: cannot write the baseline " << terminal_text(path) << ": "
        << std::strerror(errno) << '\n';
    std::remove(written.c_str());
    return false;
}

}  // namespace

std::optional<inventory_set> read_inventories(const options& opts, std::ostream& err) {
    if (opts.inventories.empty()) {
        return std::nullopt;
    }
    const std::optional<inventory_format> format =
        opts.inventory_format ? format_named(*opts.inventory_format) : std::nullopt;
    std::vector<inventory> read(opts.inventories.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (const auto reason = load_inventory(opts.inventories[i], format, read[i])) {
            err << "credcheck: cannot read the inventory " << terminal_text(opts.inventories[i])
                << ": " << *reason << '\n';
            return std::nullopt;
        }
    }
    return prepare_inventories(std::move(read));
}

int check(const options& opts, std::ostream& out, std::ostream& err) {
    // The key and the baseline are read first: a bad one stops the run before any report.
    std::optional<fingerprint_key> key;
    std::optional<baseline> accepted;
    try {
        key = find_fingerprint_key(opts.fingerprint_key);
        if (opts.baseline) {
            accepted = baseline::read(*opts.baseline);
        }
    } catch (const std::runtime_error& error) {
        err << "credcheck: " << terminal_text(error.what()) << '\n';
        return EXIT_TROUBLE;
    }
    if (opts.fingerprints && !key) {
        err << "credcheck: --fingerprints needs a key: --fingerprint-key FILE, or "
            << FINGERPRINT_KEY_VARIABLE << " set to 64 hex digits\n";
        return EXIT_TROUBLE;
    }
    const std::optional<inventory_set> inventories = read_inventories(opts, err);
    if (!opts.inventories.empty() && !inventories) {
        return EXIT_TROUBLE;
    }
    std::vector<baseline_entry> written;
    const std::string today = today_utc();
    std::optional<run_passwords> earlier_files;
    if (opts.files.size() > 1) {
        earlier_files.emplace();
    }
    prepared_run run = prepare(opts);
    if (run.reported == 0) {
        return too_long(err, opts.files.front(), opts);
    }
    const std::unique_ptr<reporter> writer =
        find_format(opts.format)->make(out, {colour_wanted(opts.colour)});
    run_start start{{}, run.mask, opts.inventories};
    for (const std::string& file : opts.files) {
        start.names.push_back(input_name(file, opts));
    }
    writer->begin(start);
    int status = EXIT_CLEAN;
    for (std::size_t i = 0; i < run.reported; ++i) {
        std::optional<file_report> passing;
        const file_report* current = nullptr;
        try {
            const bool walked = run.kept[i].has_value();
            file_walk walk = walked ? std::move(*run.kept[i]) : walk_input(opts.files[i], opts);
            run.kept[i].reset();
            const std::shared_ptr<const secret_mask> mask =
                walked ? run.mask : mask_of(walk, run, opts);
            report_settings settings = settings_of(opts, opts.files[i]);
            settings.findings.today = today;
            settings.findings.earlier_files = earlier_files ? &*earlier_files : nullptr;
            settings.findings.file_name = input_name(opts.files[i], opts);
            settings.accepted_by = accepted ? &*accepted : nullptr;
            settings.baseline_out = opts.write_baseline ? &written : nullptr;
            settings.key = key ? &*key : nullptr;
            settings.fingerprints = opts.fingerprints;
            settings.inventories = inventories ? &*inventories : nullptr;
            // The last report lives to the end; the others are done with once written.
            if (i + 1 == opts.files.size()) {
                current = &kept_to_the_end(build_report(std::move(walk), settings, mask));
            } else {
                current = &passing.emplace(build_report(std::move(walk), settings, mask));
            }
        } catch (const detail::input_too_long&) {
            run.reported = i;
            break;
        }
        writer->file(*current);
        if (current->walk.refusal) {
            cannot_read(err, current->walk, *current->mask);
        }
        status = std::max(status, exit_status_for(*current, opts));
    }
    // What was written stays whole when the run stops early, at a stream longer than the walk
    // reads: the JSON array closed, the SARIF log complete and saying which file it did not read.
    if (run.reported < opts.files.size()) {
        writer->not_read(too_long_reason());
    }
    writer->end();
    if (run.reported < opts.files.size()) {
        out.flush();
        return too_long(err, opts.files[run.reported], opts);
    }
    if (opts.write_baseline) {
        if (accepted) {
            std::vector<std::string> names;
            for (const std::string& file : opts.files) {
                names.push_back(input_name(file, opts));
            }
            const std::vector<baseline_entry> kept = accepted->entries_outside(names);
            written.insert(written.end(), kept.begin(), kept.end());
        }
        if (!write_baseline_file(*opts.write_baseline, std::move(written), err)) {
            return EXIT_TROUBLE;
        }
    }
    return status;
}

int compare(const options& opts, std::ostream& out, std::ostream& err) {
    std::optional<file_walk> walked[2];
    for (std::size_t i = 0; i < 2; ++i) {
        try {
            walked[i].emplace(walk_input(opts.files[i], opts));
        } catch (const detail::input_too_long&) {
            return too_long(err, opts.files[i], opts);
        }
    }
    std::vector<std::string_view> secrets;
    add_secrets(*walked[0], secrets);
    add_secrets(*walked[1], secrets);
    const secret_mask mask = mask_for(secrets, opts.reveal);
    bool readable = true;
    for (const std::optional<file_walk>& walk : walked) {
        if (walk->refusal) {
            cannot_read(err, *walk, mask);
            readable = false;
        }
    }
    if (!readable) {
        return EXIT_TROUBLE;
    }
    const file_diff& diff =
        kept_to_the_end(diff_walks(std::move(*walked[0]), std::move(*walked[1])));
    find_format(opts.format)->write_diff(out, diff, mask, opts.reveal, colour_wanted(opts.colour));
    return diff.maps_differ() ? EXIT_FINDINGS : EXIT_CLEAN;
}

}  // namespace credcheck
