#include "platform/picture/Picture.h"

#include "platform/metafile/Metafile.h"
#include "platform/picture/Decoders.h"
#include "platform/runtime/CodePage.h"
#include "platform/runtime/Errors.h"
#include "platform/runtime/Files.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace mirt {

namespace {

struct TPictureFormat {
    std::string_view Extension; // lower case, without the "."
    TBitmap (*Decode)(TByteSource&, TDecodeLimit);
};

constexpr std::array<TPictureFormat, 6> kFormats{{
    {"bmp", DecodeBmp},
    {"ico", DecodeIco},
    {"wmf", DecodeWmf},
    {"emf", DecodeEmf},
    {"jpeg", DecodeJpeg},
    {"jpg", DecodeJpeg},
}};

bool SameAsciiText(std::string_view a, std::string_view lower)
{
    return a.size() == lower.size() && std::equal(a.begin(), a.end(), lower.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? char(x - 'A' + 'a') : x) == y;
           });
}

// The extension is the text after the last "." of the last element of the
// name (which starts after the last "\" or ":"); a name without such a "."
// has none. The second byte of a double-byte character is never a separator.
std::string_view PictureExtension(std::string_view windowsName)
{
    std::size_t dot = std::string_view::npos;
    for (std::size_t i = 0; i < windowsName.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(windowsName[i]);
        if (IsLeadByte(c)) {
            ++i;
        } else if (c == '\\' || c == ':') {
            dot = std::string_view::npos;
        } else if (c == '.') {
            dot = i;
        }
    }
    return dot == std::string_view::npos ? std::string_view{} : windowsName.substr(dot + 1);
}

} // namespace

void TPicture::LoadFromFile(const AnsiString& windowsName, TDecodeLimit limit)
{
    const std::string_view extension = PictureExtension(windowsName);
    auto format = std::find_if(kFormats.begin(), kFormats.end(),
                               [&](const TPictureFormat& f) { return SameAsciiText(extension, f.Extension); });
    if (format == kFormats.end())
        throw EPictureError("Unknown picture file extension (" +
                            (extension.empty() ? std::string("none") : "." + std::string(extension)) + ") in " +
                            windowsName);

    TFileSource file(ResolveFileName(windowsName), windowsName);
    try {
        bitmap_ = std::make_shared<const TBitmap>(format->Decode(file, limit));
    } catch (Exception& e) {
        e.AppendContext(" (" + windowsName + ")");
        throw;
    }
}

} // namespace mirt
