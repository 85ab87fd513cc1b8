// Files: Windows file names on this file system, whole-file text reading and
// random-access byte sources for the picture decoders.
#pragma once

#include "Strings.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mirt {

// Turns a Windows file name such as "dat\story.txt" into a path on this file
// system. "\" separates elements only where it is a single-byte character of
// the code page. Where the exact path does not exist, each element is matched
// ignoring case, and an element in code-page bytes also matches a name stored
// as UTF-8. Returns the path of an existing regular file, or the
// separator-converted name when none exists (so messages can name it).
std::string ResolveFileName(const AnsiString& windowsName);

// Whether windowsName names an existing regular file (a directory counts as missing).
bool FileExists(const AnsiString& windowsName);

// Reads a whole text file (one read, not byte by byte) and splits it into
// lines: LF or CR LF ends a line, a lone CR is removed, 0x1A at the start of a
// line ends the file, no empty line after a final line end. Raises EInOutError
// (naming displayName) when the file cannot be opened or read.
std::vector<AnsiString> ReadTextLines(const std::string& path, const AnsiString& displayName);

// Splits bytes already in memory by the same line rules.
std::vector<AnsiString> SplitTextLines(std::span<const unsigned char> bytes);

// Random-access bytes for decoders that must not read a whole large file.
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies up to dst.size() bytes from offset; returns how many were copied
    // (fewer only at the end). Raises EInOutError on an OS read error.
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> dst) = 0;
};

class TMemorySource final : public TByteSource {
public:
    explicit TMemorySource(std::span<const unsigned char> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> dst) override;

private:
    std::span<const unsigned char> bytes_;
};

// A file opened for reading (others may read it too); closed when destroyed.
class TFileSource final : public TByteSource {
public:
    // Raises EInOutError naming displayName when the file cannot be opened.
    TFileSource(const std::string& path, const AnsiString& displayName);
    ~TFileSource() override;
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> dst) override;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    AnsiString name_;
};

} // namespace mirt
