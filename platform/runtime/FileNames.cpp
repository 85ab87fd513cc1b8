#include "Files.h"

#include "CodePage.h"
#include "Encoding.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace mirt {
namespace {

enum class TKind { Missing, File, Directory };

TKind KindOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return TKind::Missing;
    if (S_ISREG(st.st_mode)) return TKind::File;
    if (S_ISDIR(st.st_mode)) return TKind::Directory;
    return TKind::Missing;
}

// The elements of a Windows name. "\" (and "/") separate them only where
// they stand as single-byte characters; empty elements are dropped.
std::vector<AnsiString> SplitElements(const AnsiString& name, bool& absolute)
{
    std::vector<AnsiString> elements;
    AnsiString current;
    absolute = false;
    bool secondByte = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool separator = (c == '\\' || c == '/') && !secondByte;
        secondByte = !secondByte && IsLeadByte(static_cast<unsigned char>(c));
        if (!separator) {
            current += c;
            continue;
        }
        if (i == 0) absolute = true;
        if (!current.empty()) elements.push_back(std::move(current));
        current.clear();
    }
    if (!current.empty()) elements.push_back(std::move(current));
    return elements;
}

bool SameAsciiCase(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; };
        return lower(x) == lower(y);
    });
}

std::string Join(const std::string& dir, const std::string& element)
{
    if (dir.empty()) return element;
    if (dir == "/") return dir + element;
    return dir + "/" + element;
}

// The entry of dir that element names, ignoring case (in the code page, or
// against a name stored as UTF-8), of the wanted kind; empty if none.
std::string MatchEntry(const std::string& dir, const AnsiString& element, TKind wanted)
{
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return {};
    const std::string utf8 = CodePageToUtf8(element);
    std::vector<std::string> hits;
    while (const dirent* entry = ::readdir(d)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (AnsiSameText(element, name) || SameAsciiCase(utf8, name)) hits.push_back(name);
    }
    ::closedir(d);
    std::sort(hits.begin(), hits.end()); // the same choice on every run
    for (const std::string& hit : hits)
        if (KindOf(Join(dir, hit)) == wanted) return hit;
    return {};
}

} // namespace

std::string ResolveFileName(const AnsiString& windowsName)
{
    bool absolute = false;
    const std::vector<AnsiString> elements = SplitElements(windowsName, absolute);
    std::string exact = absolute ? "/" : "";
    for (const AnsiString& element : elements) exact = Join(exact, element);
    if (elements.empty() || KindOf(exact) == TKind::File) return exact;

    std::string path = absolute ? "/" : "";
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const AnsiString& element = elements[i];
        const TKind wanted = i + 1 == elements.size() ? TKind::File : TKind::Directory;
        const std::string direct = Join(path, element);
        if (element == "." || element == ".." || KindOf(direct) == wanted) {
            path = direct;
            continue;
        }
        const std::string found = MatchEntry(path, element, wanted);
        if (found.empty()) return exact;
        path = Join(path, found);
    }
    return path;
}

bool FileExists(const AnsiString& windowsName) { return KindOf(ResolveFileName(windowsName)) == TKind::File; }

} // namespace mirt
