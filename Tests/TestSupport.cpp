#include "TestSupport.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>

namespace test_support {

TempDir::TempDir() {
    std::random_device seed;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("ptfp-test-" + std::to_string(seed()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = std::move(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::socket(const std::string& name) const {
    const std::string path = (path_ / name).string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        throw std::runtime_error("socket path too long: " + path);
    }
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool bound =
        fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd);  // the socket's name stays in the directory
    }
    if (!bound) {
        throw std::runtime_error("cannot bind a socket at " + path);
    }
    return path;
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << content;
    return file.string();
}

PipeSource::PipeSource(std::string text) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    reader_ = ends[0];
    writer_ = std::thread([text = std::move(text), fd = ends[1]] {
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
            if (wrote <= 0) {
                break;
            }
            done += static_cast<std::size_t>(wrote);
        }
        ::close(fd);
    });
}

PipeSource::~PipeSource() {
    ::close(reader_);
    writer_.join();
}

LogCapture::LogCapture()
    : previous_(Kelvor::Log::SetSink(
          [this](const Kelvor::LogRecord& record) { records_.push_back(record); })) {}

LogCapture::~LogCapture() {
    Kelvor::Log::SetSink(std::move(previous_));
}

}  // namespace test_support
