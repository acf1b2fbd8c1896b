#pragma once
// Helpers shared by the tests: a scratch directory, a pipe and a capture of the log records.

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <Kelvor/Log.h>

namespace test_support {

/// A fresh directory under the system's temporary directory, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    /// Writes `content` to the file `name` in the directory and returns its path.
    std::string write(const std::string& name, const std::string& content) const;
    /// Binds a Unix socket at `name` in the directory and returns its path, which names a socket
    /// from then on.
    std::string socket(const std::string& name) const;

private:
    std::filesystem::path path_;
};

/// Writes `text` into a pipe from another thread; path() names the reading end as a shell's
/// process substitution does. The reading end is closed when the object ends.
class PipeSource {
public:
    explicit PipeSource(std::string text);
    ~PipeSource();
    PipeSource(const PipeSource&) = delete;
    PipeSource& operator=(const PipeSource&) = delete;

    std::string path() const { return "/dev/fd/" + std::to_string(reader_); }

private:
    int reader_ = -1;
    std::thread writer_;
};

/// Collects the log records emitted while it lives, in place of the default sink.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<Kelvor::LogRecord>& records() const { return records_; }

private:
    std::vector<Kelvor::LogRecord> records_;
    Kelvor::LogSink previous_;
};

}  // namespace test_support
