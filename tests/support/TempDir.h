// A scratch directory for tests that need files: created empty, made the
// current directory while the test runs, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace mirt::test {

class TTempDir {
public:
    TTempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "mirt-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~TTempDir()
    {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Writes bytes to a file relative to the directory, creating its parents.
    static void Write(const std::filesystem::path& name, const std::string& bytes)
    {
        if (name.has_parent_path()) std::filesystem::create_directories(name.parent_path());
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + name.string());
    }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

} // namespace mirt::test
