#include "TestSupport.h"

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

std::string TempDir::write(const std::string& name, const std::string& content) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << content;
    return file.string();
}

LogCapture::LogCapture()
    : previous_(Kelvor::Log::SetSink(
          [this](const Kelvor::LogRecord& record) { records_.push_back(record); })) {}

LogCapture::~LogCapture() {
    Kelvor::Log::SetSink(std::move(previous_));
}

}  // namespace test_support
