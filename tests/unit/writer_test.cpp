// The buffered writers: byte order, when and in which pieces bytes leave the
// buffer, and what a failing target does.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "text/error.hpp"
#include "text/write_ops.hpp"
#include "text/writer.hpp"

namespace {

using rdv::Error;
using rdv::MemoryWriter;

// Distinct, non-repeating-looking content so that reordering or dropped
// bytes show up.
std::string pattern(std::size_t size, std::size_t seed = 0)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('!' + ((i * 7 + seed * 13 + i / 91) % 90));
    return text;
}

struct BufferStorage {
    explicit BufferStorage(std::size_t capacity) : buffer(capacity) {}
    std::vector<char> buffer;
};

// A writer on any file descriptor, with a buffer of the test's choosing.
class TestFdWriter final : private BufferStorage, public rdv::FdWriter {
public:
    TestFdWriter(int fd, std::size_t capacity)
        : BufferStorage(capacity), FdWriter(fd, buffer.data(), buffer.size())
    {
    }
};

// A target that takes at most `limit` bytes per hand-over, to exercise the
// continuation after partial writes.
class ChunkyWriter final : private BufferStorage, public rdv::Writer {
public:
    ChunkyWriter(std::size_t capacity, std::size_t limit)
        : BufferStorage(capacity), Writer(buffer.data(), buffer.size()), limit_(limit)
    {
    }

    const std::string& text() const { return text_; }
    std::size_t calls() const { return calls_; }

protected:
    rdv::Result<std::size_t> drain(std::string_view head, std::string_view tail) noexcept override
    {
        ++calls_;
        std::string joined(head);
        joined.append(tail);
        std::size_t taken = std::min(limit_, joined.size());
        text_.append(joined, 0, taken);
        return taken;
    }

private:
    std::size_t limit_;
    std::string text_;
    std::size_t calls_ = 0;
};

struct Pipe {
    int read_end = -1;
    int write_end = -1;
    Pipe()
    {
        int fds[2];
        if (::pipe(fds) == 0) {
            read_end = fds[0];
            write_end = fds[1];
        }
    }
    ~Pipe()
    {
        close_write();
        if (read_end >= 0)
            ::close(read_end);
    }
    void close_write()
    {
        if (write_end >= 0)
            ::close(write_end);
        write_end = -1;
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
};

std::string read_all(int fd)
{
    std::string text;
    char chunk[8192];
    for (;;) {
        ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

TEST(StandardWriters, BufferSizes)
{
    rdv::StdoutWriter out;
    rdv::StderrWriter err;
    EXPECT_EQ(out.capacity(), 16384u);
    EXPECT_EQ(err.capacity(), 512u);
    EXPECT_EQ(out.buffered(), 0u);
    EXPECT_EQ(err.buffered(), 0u);
}

// Redirects a standard descriptor to a pipe while `body` runs, and returns
// what reached it.
template <typename Body>
std::string capture_descriptor(int target, Body&& body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    Pipe pipe;
    int saved = ::dup(target);
    if (pipe.write_end < 0 || saved < 0)
        return "<pipe or dup failed>";
    ::dup2(pipe.write_end, target);
    body();
    ::dup2(saved, target);
    ::close(saved);
    pipe.close_write();
    return read_all(pipe.read_end);
}

TEST(StandardWriters, StdoutWriterWritesToDescriptorOne)
{
    const std::string payload = pattern(5000, 3);
    bool ok = false;
    std::string got = capture_descriptor(1, [&] {
        rdv::StdoutWriter out;
        ok = rdv::write_bytes(out, "first line\n").has_value() && rdv::write_bytes(out, payload).has_value() &&
             rdv::flush(out).has_value();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(got, "first line\n" + payload);
}

TEST(StandardWriters, StderrWriterWritesToDescriptorTwo)
{
    const std::string payload = pattern(700, 4);
    bool ok = false;
    std::string got = capture_descriptor(2, [&] {
        rdv::StderrWriter err;
        ok = rdv::write_bytes(err, "ridaviduvo: ").has_value() && rdv::write_bytes(err, payload).has_value() &&
             rdv::flush(err).has_value();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(got, "ridaviduvo: " + payload);
}

TEST(MemoryWriterPieces, ShortReportLeavesInOnePieceAtFlush)
{
    MemoryWriter writer;
    ASSERT_TRUE(rdv::write_bytes(writer, "ID\tBACKEND").has_value());
    ASSERT_TRUE(writer.put('\n').has_value());
    ASSERT_TRUE(rdv::write_bytes(writer, "a1\txdg\n").has_value());
    EXPECT_TRUE(writer.text().empty());
    EXPECT_TRUE(writer.pieces().empty());
    EXPECT_EQ(writer.buffered(), 18u);

    ASSERT_TRUE(rdv::flush(writer).has_value());
    EXPECT_EQ(writer.text(), "ID\tBACKEND\na1\txdg\n");
    EXPECT_EQ(writer.pieces(), std::vector<std::size_t>{18});
    EXPECT_EQ(writer.buffered(), 0u);
}

TEST(MemoryWriterPieces, FlushWithNothingBufferedHandsNothingOver)
{
    MemoryWriter writer;
    ASSERT_TRUE(rdv::flush(writer).has_value());
    EXPECT_TRUE(writer.pieces().empty());

    ASSERT_TRUE(rdv::write_bytes(writer, "abc").has_value());
    ASSERT_TRUE(rdv::flush(writer).has_value());
    ASSERT_TRUE(rdv::flush(writer).has_value());
    EXPECT_EQ(writer.pieces(), std::vector<std::size_t>{3});
    EXPECT_EQ(writer.text(), "abc");
}

TEST(MemoryWriterPieces, EmptyWriteChangesNothing)
{
    MemoryWriter writer(8);
    ASSERT_TRUE(rdv::write_bytes(writer, "12345678").has_value());
    ASSERT_TRUE(rdv::write_bytes(writer, "").has_value());
    EXPECT_TRUE(writer.pieces().empty());
    EXPECT_EQ(writer.buffered(), 8u);
    ASSERT_TRUE(rdv::flush(writer).has_value());
    EXPECT_EQ(writer.text(), "12345678");
}

TEST(MemoryWriterPieces, ExactlyFullBufferStaysUntilTheNextByte)
{
    MemoryWriter writer;
    const std::string full = pattern(4096);
    ASSERT_TRUE(rdv::write_bytes(writer, full.substr(0, 4000)).has_value());
    ASSERT_TRUE(rdv::write_bytes(writer, full.substr(4000)).has_value());
    EXPECT_TRUE(writer.pieces().empty());
    EXPECT_EQ(writer.buffered(), 4096u);

    ASSERT_TRUE(rdv::write_bytes(writer, "+").has_value());
    EXPECT_EQ(writer.pieces(), std::vector<std::size_t>{4097});
    EXPECT_EQ(writer.text(), full + "+");
    EXPECT_EQ(writer.buffered(), 0u);
}

TEST(MemoryWriterPieces, WriteThatDoesNotFitSpillsBufferedAndNewBytesInOrder)
{
    // 100 writes of 100 bytes: 40 fit (4000), the 41st spills 4100 bytes,
    // and so on; the last 1800 wait for the flush.
    MemoryWriter writer;
    std::string expected;
    for (std::size_t i = 0; i < 100; ++i) {
        std::string piece = pattern(100, i);
        expected += piece;
        ASSERT_TRUE(rdv::write_bytes(writer, piece).has_value());
    }
    EXPECT_EQ(writer.pieces(), (std::vector<std::size_t>{4100, 4100}));
    EXPECT_EQ(writer.buffered(), 1800u);
    ASSERT_TRUE(rdv::flush(writer).has_value());
    EXPECT_EQ(writer.pieces(), (std::vector<std::size_t>{4100, 4100, 1800}));
    EXPECT_EQ(writer.text(), expected);
}

TEST(MemoryWriterPieces, SingleBytesSpillWhenTheBufferIsFull)
{
    MemoryWriter writer;
    std::string expected = pattern(5000, 9);
    for (char byte : expected)
        ASSERT_TRUE(writer.put(byte).has_value());
    EXPECT_EQ(writer.pieces(), std::vector<std::size_t>{4097});
    ASSERT_TRUE(rdv::flush(writer).has_value());
    EXPECT_EQ(writer.pieces(), (std::vector<std::size_t>{4097, 903}));
    EXPECT_EQ(writer.text(), expected);
}

TEST(MemoryWriterPieces, WriteLargerThanTheBuffer)
{
    const std::string big = pattern(10000, 1);
    {
        MemoryWriter writer;
        ASSERT_TRUE(rdv::write_bytes(writer, big).has_value());
        EXPECT_EQ(writer.pieces(), std::vector<std::size_t>{10000});
        EXPECT_EQ(writer.buffered(), 0u);
        EXPECT_EQ(writer.text(), big);
    }
    {
        MemoryWriter writer;
        ASSERT_TRUE(rdv::write_bytes(writer, "head:").has_value());
        ASSERT_TRUE(rdv::write_bytes(writer, big).has_value());
        ASSERT_TRUE(rdv::write_bytes(writer, ":tail").has_value());
        EXPECT_EQ(writer.pieces(), std::vector<std::size_t>{10005});
        ASSERT_TRUE(rdv::flush(writer).has_value());
        EXPECT_EQ(writer.pieces(), (std::vector<std::size_t>{10005, 5}));
        EXPECT_EQ(writer.text(), "head:" + big + ":tail");
    }
    {
        MemoryWriter writer(8);
        ASSERT_TRUE(rdv::write_bytes(writer, "abc").has_value());
        ASSERT_TRUE(rdv::write_bytes(writer, "defghijklm").has_value());
        ASSERT_TRUE(rdv::write_bytes(writer, "no").has_value());
        ASSERT_TRUE(rdv::flush(writer).has_value());
        EXPECT_EQ(writer.pieces(), (std::vector<std::size_t>{13, 2}));
        EXPECT_EQ(writer.text(), "abcdefghijklmno");
    }
}

TEST(MemoryWriterFailure, FailsOnceMoreThanTheLimitWouldArrive)
{
    {
        MemoryWriter writer(8, 10);
        ASSERT_TRUE(rdv::write_bytes(writer, "12345678").has_value());
        rdv::Result<> result = rdv::write_bytes(writer, "abc");  // 11 bytes would arrive
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), Error::WriteFailed);
        EXPECT_TRUE(writer.text().empty());
    }
    {
        MemoryWriter writer(8, 11);
        ASSERT_TRUE(rdv::write_bytes(writer, "12345678").has_value());
        ASSERT_TRUE(rdv::write_bytes(writer, "abc").has_value());
        EXPECT_EQ(writer.text(), "12345678abc");
        ASSERT_TRUE(rdv::write_bytes(writer, "x").has_value());
        rdv::Result<> flushed = rdv::flush(writer);
        ASSERT_FALSE(flushed.has_value());
        EXPECT_EQ(flushed.error(), Error::WriteFailed);
        EXPECT_EQ(writer.text(), "12345678abc");
    }
}

TEST(PartialWrites, ContinueUntilEveryByteLeavesInOrder)
{
    const std::size_t limits[] = {1, 3, 7, 8, 9, 100};
    for (std::size_t limit : limits) {
        ChunkyWriter writer(8, limit);
        std::string expected;
        const std::size_t sizes[] = {3, 5, 12, 1, 0, 8, 30, 2, 7, 9};
        std::size_t seed = 0;
        for (std::size_t size : sizes) {
            std::string piece = pattern(size, ++seed);
            expected += piece;
            ASSERT_TRUE(rdv::write_bytes(writer, piece).has_value()) << "limit " << limit;
            ASSERT_LE(writer.buffered(), writer.capacity());
            // What left plus what is buffered is everything written so far.
            ASSERT_EQ(writer.text().size() + writer.buffered(), expected.size()) << "limit " << limit;
            ASSERT_EQ(writer.text(), expected.substr(0, writer.text().size())) << "limit " << limit;
        }
        ASSERT_TRUE(rdv::flush(writer).has_value());
        EXPECT_EQ(writer.buffered(), 0u);
        EXPECT_EQ(writer.text(), expected) << "limit " << limit;
    }
}

TEST(PartialWrites, OneByteAtATimeTarget)
{
    ChunkyWriter writer(4, 1);
    ASSERT_TRUE(rdv::write_bytes(writer, "abcdefghij").has_value());
    // Once the remainder fits in the buffer it stays there.
    EXPECT_EQ(writer.text(), "abcdef");
    EXPECT_EQ(writer.buffered(), 4u);
    ASSERT_TRUE(rdv::flush(writer).has_value());
    EXPECT_EQ(writer.text(), "abcdefghij");
    EXPECT_EQ(writer.calls(), 10u);
}

TEST(FdWriterTest, BytesReadBackFromAPipeInOrder)
{
    Pipe pipe;
    ASSERT_GE(pipe.write_end, 0);
    std::string expected;
    {
        TestFdWriter writer(pipe.write_end, 4096);
        std::size_t size = 1;
        std::size_t seed = 0;
        while (expected.size() < 20000) {
            std::string piece = pattern(size, ++seed);
            expected += piece;
            ASSERT_TRUE(rdv::write_bytes(writer, piece).has_value());
            size = size * 3 % 701 + 1;
        }
        ASSERT_TRUE(rdv::flush(writer).has_value());
    }
    pipe.close_write();
    EXPECT_EQ(read_all(pipe.read_end), expected);
}

TEST(FdWriterTest, LargeReportThroughAPipeWithAConcurrentReader)
{
    Pipe pipe;
    ASSERT_GE(pipe.write_end, 0);
    std::string got;
    std::thread reader([&] { got = read_all(pipe.read_end); });
    std::string expected;
    bool ok = true;
    {
        TestFdWriter writer(pipe.write_end, 16);
        for (std::size_t i = 0; i < 300 && ok; ++i) {
            std::string piece = pattern(i * 13 % 1500, i);
            expected += piece;
            ok = rdv::write_bytes(writer, piece).has_value();
        }
        ok = ok && rdv::flush(writer).has_value();
    }
    pipe.close_write();
    reader.join();
    EXPECT_TRUE(ok);
    EXPECT_GT(expected.size(), 65536u);
    EXPECT_EQ(got, expected);
}

TEST(FdWriterTest, DevFullFailsAtTheFlush)
{
    int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    {
        TestFdWriter writer(fd, 4096);
        ASSERT_TRUE(rdv::write_bytes(writer, "fits in the buffer\n").has_value());
        rdv::Result<> flushed = rdv::flush(writer);
        ASSERT_FALSE(flushed.has_value());
        EXPECT_EQ(flushed.error(), Error::WriteFailed);
    }
    {
        TestFdWriter writer(fd, 4096);
        rdv::Result<> result = rdv::write_bytes(writer, pattern(5000));
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), Error::WriteFailed);
    }
    {
        TestFdWriter writer(fd, 4);
        ASSERT_TRUE(rdv::write_bytes(writer, "abcd").has_value());
        rdv::Result<> result = writer.put('e');
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), Error::WriteFailed);
    }
    ::close(fd);
}

TEST(FdWriterTest, ClosedDescriptorFails)
{
    int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ::close(fd);
    TestFdWriter writer(fd, 16);
    ASSERT_TRUE(rdv::write_bytes(writer, "x").has_value());
    rdv::Result<> flushed = rdv::flush(writer);
    ASSERT_FALSE(flushed.has_value());
    EXPECT_EQ(flushed.error(), Error::WriteFailed);
}

TEST(FdWriterTest, PipeWithoutReaderFailsWhenBrokenPipeIsIgnored)
{
    Pipe pipe;
    ASSERT_GE(pipe.write_end, 0);
    ::close(pipe.read_end);
    pipe.read_end = -1;
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &previous), 0);
    rdv::Result<> flushed;
    {
        TestFdWriter writer(pipe.write_end, 64);
        rdv::Result<> written = rdv::write_bytes(writer, "lost");
        flushed = written ? rdv::flush(writer) : written;
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
    ASSERT_FALSE(flushed.has_value());
    EXPECT_EQ(flushed.error(), Error::WriteFailed);
}

}  // namespace
