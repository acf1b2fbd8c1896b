#include "BenchSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_map>

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>

#include <Kelvor/Addrkit.h>
#include <Kelvor/Log.h>
#include <PlainTextFileParser/JsonBinding.h>
#include <PlainTextFileParser/detail/CredentialText.h>

namespace ptfp_bench {
namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw std::system_error(errno, std::generic_category(), what + " " + path);
}

}  // namespace

std::string read_file_bulk(const std::string& path) {
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        fail("cannot open", path);
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        fail("cannot stat", path);
    }
    std::string text(static_cast<std::size_t>(status.st_size), '\0');
    std::size_t length = 0;
    while (length < text.size()) {
        const ssize_t got = ::read(file.get(), &text[length], text.size() - length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            fail("cannot read", path);
        }
        if (got == 0) {
            break;
        }
        length += static_cast<std::size_t>(got);
    }
    text.resize(length);
    return text;
}

std::size_t run_floor(const std::string& path, const std::vector<OutputEntry>& entries) {
    std::map<std::string, std::string> out;
    {
        boost::json::value document;
        {
            const std::string text = read_file_bulk(path);
            document =
                boost::json::parse(text, boost::json::storage_ptr(), credential_parse_options());
        }
        if (!document.is_object()) {
            throw std::runtime_error("the document is not a JSON object: " + path);
        }
        for (const OutputEntry& entry : entries) {
            out.try_emplace(entry.key, entry.value);
        }
    }
    return out.size();
}

std::size_t run_bound_floor(const std::string& path, const std::vector<OutputEntry>& entries) {
    std::map<std::string, std::string> out;
    {
        plain_text_info info;
        {
            std::ifstream stream(path);
            if (!json_assign(stream, info)) {
                throw std::runtime_error("the document does not bind: " + path);
            }
        }
        for (const OutputEntry& entry : entries) {
            out.try_emplace(entry.key, entry.value);
        }
    }
    return out.size();
}

std::size_t run_expansion(const plain_text_info& info) {
    std::unordered_map<std::string_view, plain_text_detail::credential> table;
    table.reserve(info.connection_credentials.size());
    for (const auto& [alias, text] : info.connection_credentials) {
        table.emplace(alias, plain_text_detail::split_credential(text));
    }
    std::size_t expanded = 0;
    std::string scope;
    std::vector<std::string> addresses;
    for (const std::string& entry : info.target_systems) {
        const plain_text_detail::target_entry target = plain_text_detail::split_target_entry(entry);
        if (table.find(target.alias) == table.end()) {
            continue;
        }
        scope.assign(target.scope);
        addresses.clear();
        if (Kelvor::Addrkit::spread_scope_ip(scope, addresses)) {
            expanded += addresses.size();
        }
    }
    return expanded;
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ptfp-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        fail("cannot create a folder like", pattern);
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::write(const std::string& name, const std::string& text) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    stream.close();
    if (!stream) {
        throw std::runtime_error("cannot write " + file.string());
    }
    return file.string();
}

void silence_log() {
    Kelvor::Log::SetSink([](const Kelvor::LogRecord&) {});
}

}  // namespace ptfp_bench
