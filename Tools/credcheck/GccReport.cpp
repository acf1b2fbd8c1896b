#include "GccReport.h"

#include <string>

#include "TerminalWriter.h"

namespace credcheck {

void write_gcc_report(std::ostream& out, const report& r) {
    terminal_writer line(out, r.mask, false);
    for (const finding& f : r.findings) {
        const text_position at = f.at.known() ? f.at : text_position{1, 1};
        line.file(r.walk.path)(":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
                               ": " + std::string(severity_name(f.level)) +
                               ": ")(f.message)(" [" + std::string(f.rule->id) + "]")
            .end_line();
    }
}

}  // namespace credcheck
