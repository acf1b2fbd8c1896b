// The one reader of credential files: what it refuses without opening, what it reads of files
// and of streams, and how it reports a read that fails.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <PlainTextFileParser/detail/InputFile.h>
#include <PlainTextFileParser/detail/InputFileStream.h>

#include "TestSupport.h"

namespace {

using plain_text_detail::InputFile;
using plain_text_detail::open_failure;

TEST(InputFile, RefusesDirectoriesAndSocketsWithoutOpeningThem) {
    test_support::TempDir dir;
    const std::string socket_path = dir.socket("socket");
    const struct {
        std::string path;
        open_failure failure;
        int error;
        mode_t type;
    } cases[] = {
        {(dir.path() / "missing").string(), open_failure::system_error, ENOENT, 0},
        {dir.path().string(), open_failure::unsupported, 0, S_IFDIR},
        {socket_path, open_failure::unsupported, 0, S_IFSOCK},
    };
    for (const auto& c : cases) {
        const InputFile file(c.path);
        EXPECT_FALSE(file.is_open()) << c.path;
        EXPECT_EQ(file.failure(), c.failure) << c.path;
        EXPECT_EQ(file.error(), c.error) << c.path;
        EXPECT_EQ(file.status().st_mode & S_IFMT, c.type) << c.path;
    }
}

// A pipe is read to its end, across the pieces the kernel hands out; its length is not known
// before.
TEST(InputFile, ReadsAStreamToItsEnd) {
    const std::string text(200000, 'p');
    const test_support::PipeSource source(text);
    InputFile pipe(source.path());
    ASSERT_TRUE(pipe.is_open());
    EXPECT_TRUE(pipe.is_stream());
    EXPECT_EQ(pipe.remaining(), 0u);
    std::string read(text.size() + 10, '\0');
    read.resize(pipe.read(read.data(), read.size()));
    EXPECT_EQ(read, text);
    EXPECT_FALSE(pipe.too_long());
}

TEST(InputFile, SaysWhyARegularFileCouldNotBeOpened) {
    test_support::TempDir dir;
    const std::string path = dir.write("credentials.json", "{}");
    // No descriptor left: stat finds the file, open cannot have it.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest_free = ::dup(0);
    ASSERT_GE(lowest_free, 0);
    ::close(lowest_free);
    rlimit none_left = saved;
    none_left.rlim_cur = static_cast<rlim_t>(lowest_free);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none_left), 0);
    const InputFile file(path);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(file.failure(), open_failure::system_error);
    EXPECT_EQ(file.error(), EMFILE);
}

// A file is read whole, through a link too, and its descriptor is closed when the reader ends.
TEST(InputFile, ReadsAWholeFileThroughALinkAndClosesIt) {
    test_support::TempDir dir;
    const std::string text(100000, 'x');
    std::filesystem::create_symlink(dir.write("credentials.json", text), dir.path() / "link");
    const auto open_descriptors = [] {
        const std::filesystem::directory_iterator fds("/proc/self/fd");
        return std::distance(begin(fds), end(fds));
    };
    const auto before = open_descriptors();
    {
        InputFile file((dir.path() / "link").string());
        ASSERT_TRUE(file.is_open());
        EXPECT_EQ(file.remaining(), text.size());
        char head[10];
        EXPECT_EQ(file.read(head, sizeof head), sizeof head);
        EXPECT_EQ(file.remaining(), text.size() - sizeof head);
        EXPECT_EQ(file.read_all(), text.substr(sizeof head));
        EXPECT_EQ(file.error(), 0);
        EXPECT_EQ(file.read(head, sizeof head), 0u);
    }
    EXPECT_EQ(open_descriptors(), before);
}

TEST(InputFile, ReportsAReadThatFails) {
    test_support::TempDir dir;
    const std::string path = dir.write("credentials.json", "{}");
    // The file gets the lowest free descriptor; a directory put in its place makes reads fail.
    const int lowest_free = ::dup(0);
    ASSERT_GE(lowest_free, 0);
    ::close(lowest_free);
    InputFile file(path);
    ASSERT_TRUE(file.is_open());
    const int directory = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(directory, 0);
    ASSERT_EQ(::dup2(directory, lowest_free), lowest_free);
    ::close(directory);
    EXPECT_EQ(file.read_all(), "");
    EXPECT_EQ(file.error(), EISDIR);
}

// The size at open is where the file ends: what is appended later is not read, a file that
// shrinks ends early, and one that says it is empty (as many files of /proc do) reads as empty.
TEST(InputFile, ReadsNoFurtherThanTheSizeAtOpen) {
    test_support::TempDir dir;
    const std::string path = dir.write("credentials.json", "0123456789");
    InputFile grown(path);
    ASSERT_TRUE(grown.is_open());
    std::ofstream(path, std::ios::app) << "appended";
    EXPECT_EQ(grown.read_all(), "0123456789");

    InputFile shrunk(path);
    ASSERT_TRUE(shrunk.is_open());
    std::filesystem::resize_file(path, 4);
    char buffer[32];
    errno = EIO;  // an early end is no read error, whatever errno held before
    EXPECT_EQ(shrunk.read(buffer, sizeof buffer), 4u);
    EXPECT_EQ(shrunk.error(), 0);

    InputFile empty("/proc/self/status");
    ASSERT_TRUE(empty.is_open());
    EXPECT_EQ(empty.remaining(), 0u);
    EXPECT_EQ(empty.read_all(), "");
}

TEST(InputFileStream, SaysWhatIsLeftAndReadsInPieces) {
    test_support::TempDir dir;
    const std::string path = dir.write("c.json", "abcdef");
    plain_text_detail::InputFileStream file(path);
    ASSERT_TRUE(file.stream().good());
    EXPECT_EQ(file.stream().rdbuf()->in_avail(), 6);
    EXPECT_EQ(file.stream().get(), 'a');
    char rest[8] = {};
    EXPECT_EQ(file.stream().rdbuf()->sgetn(rest, sizeof rest), 5);
    EXPECT_EQ(std::string(rest), "bcdef");
    EXPECT_EQ(file.stream().rdbuf()->sgetn(rest, sizeof rest), 0);  // all of it was taken
    EXPECT_FALSE(plain_text_detail::InputFileStream(dir.path().string()).stream().good());
}

}  // namespace
