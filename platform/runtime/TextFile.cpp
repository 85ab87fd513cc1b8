#include "Files.h"

#include "Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirt {
namespace {

// A text file larger than this is refused rather than read into memory.
constexpr std::size_t kMaxTextFileSize = std::size_t{256} << 20;

class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

} // namespace

std::vector<AnsiString> SplitTextLines(std::span<const unsigned char> bytes)
{
    std::vector<AnsiString> lines;
    const char* p = reinterpret_cast<const char*>(bytes.data());
    const char* const end = p + bytes.size();
    while (p < end) {
        if (static_cast<unsigned char>(*p) == 0x1A) break; // end-of-file mark at a line start
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* stop = lf ? lf : end;
        // The CR of a CR LF ends the line; any other CR is dropped from it.
        // Either way no CR stays in the line.
        AnsiString& line = lines.emplace_back();
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(stop - p)));
        if (!cr) {
            line.assign(p, stop);
        } else if (cr == stop - 1) {
            line.assign(p, cr); // the usual CR LF
        } else {
            line.reserve(static_cast<std::size_t>(stop - p));
            for (const char* q = p; q < stop;) {
                const char* next = static_cast<const char*>(std::memchr(q, '\r', static_cast<std::size_t>(stop - q)));
                const char* segmentEnd = next ? next : stop;
                line.append(q, segmentEnd);
                q = next ? next + 1 : stop;
            }
        }
        p = lf ? lf + 1 : end;
    }
    return lines;
}

std::vector<AnsiString> ReadTextLines(const std::string& path, const AnsiString& displayName)
{
    // Non-blocking so that a FIFO or device never stalls the program.
    TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) ThrowOsError("Cannot open file " + displayName, errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) ThrowOsError("Cannot read file " + displayName, errno);
    if (S_ISDIR(st.st_mode)) ThrowOsError("Cannot read file " + displayName, EISDIR);
    if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > kMaxTextFileSize)
        ThrowOsError("Cannot read file " + displayName, EFBIG);

    // One read of the size the file has now; the loop only continues if it
    // grew meanwhile, and stops at the size limit.
    std::vector<unsigned char> bytes(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (bytes.size() > kMaxTextFileSize) ThrowOsError("Cannot read file " + displayName, EFBIG);
            bytes.resize(bytes.size() * 2 + 4096);
        }
        ssize_t n = ::read(fd.Get(), bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowOsError("Cannot read file " + displayName, errno);
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    return SplitTextLines(std::span<const unsigned char>(bytes.data(), used));
}

} // namespace mirt
