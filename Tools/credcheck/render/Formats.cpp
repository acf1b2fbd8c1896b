// The registry of output formats: a format is a reporter of its own file and one row here.

#include <algorithm>

#include "render/DiffReport.h"
#include "render/Reporter.h"

namespace credcheck {

std::unique_ptr<reporter> make_text_reporter(std::ostream&, const render_settings&);
std::unique_ptr<reporter> make_json_reporter(std::ostream&, const render_settings&);
std::unique_ptr<reporter> make_sarif_reporter(std::ostream&, const render_settings&);
std::unique_ptr<reporter> make_gcc_reporter(std::ostream&, const render_settings&);
std::unique_ptr<reporter> make_github_reporter(std::ostream&, const render_settings&);

const std::vector<output_format>& output_formats() {
    static const std::vector<output_format> formats = {
        {"text", "for a person", make_text_reporter, write_human_diff},
        {"json", "for scripts", make_json_reporter, write_json_diff},
        {"sarif", "a SARIF 2.1.0 log of the findings, for code scanning", make_sarif_reporter,
         nullptr},
        {"gcc", "FILE:LINE:COL: severity: message [rule], one line per finding", make_gcc_reporter,
         nullptr},
        {"github", "GitHub Actions workflow commands, one annotation per finding",
         make_github_reporter, nullptr},
    };
    return formats;
}

const output_format* find_format(std::string_view name) {
    const std::vector<output_format>& formats = output_formats();
    const auto found =
        std::find_if(formats.begin(), formats.end(),
                     [&](const output_format& format) { return format.name == name; });
    return found != formats.end() ? &*found : nullptr;
}

}  // namespace credcheck
