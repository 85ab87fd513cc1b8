#include "Files.h"

#include "Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirt {

std::size_t TMemorySource::ReadAt(std::uint64_t offset, std::span<unsigned char> dst)
{
    if (offset >= bytes_.size()) return 0;
    std::size_t n = std::min<std::uint64_t>(dst.size(), bytes_.size() - offset);
    std::memcpy(dst.data(), bytes_.data() + offset, n);
    return n;
}

TFileSource::TFileSource(const std::string& path, const AnsiString& displayName) : name_(displayName)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) ThrowOsError("Cannot open file " + name_, errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        int e = errno;
        ::close(fd_);
        ThrowOsError("Cannot read file " + name_, e);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd_);
        ThrowOsError("Cannot open file " + name_, EISDIR);
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

TFileSource::~TFileSource()
{
    if (fd_ >= 0) ::close(fd_);
}

std::size_t TFileSource::ReadAt(std::uint64_t offset, std::span<unsigned char> dst)
{
    std::size_t done = 0;
    while (done < dst.size()) {
        ssize_t n = ::pread(fd_, dst.data() + done, dst.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowOsError("Cannot read file " + name_, errno);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

} // namespace mirt
