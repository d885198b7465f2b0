#include "platform/code_pages.h"

#include "platform/utf8.h"

#include <iconv.h>
#include <cerrno>

namespace platform {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

const char* iconvName(unsigned codePage) {
    switch (codePage) {
    // GB18030 is a superset of GBK and GB2312, as browsers decode them.
    case 936:
    case kCodePageGb18030:
        return "GB18030";
    case 950:
        return "CP950";
    case 932:
        return "CP932";
    case 949:
        return "CP949";
    case 20932:
        return "EUC-JP";
    case 20866:
        return "KOI8-R";
    case 21866:
        return "KOI8-U";
    case 1250:
        return "CP1250";
    case 1251:
        return "CP1251";
    case 1252:
        return "CP1252";
    case 1253:
        return "CP1253";
    case 1254:
        return "CP1254";
    case 1255:
        return "CP1255";
    case 1256:
        return "CP1256";
    case 1257:
        return "CP1257";
    case 1258:
        return "CP1258";
    case 28592:
        return "ISO-8859-2";
    case 28593:
        return "ISO-8859-3";
    case 28594:
        return "ISO-8859-4";
    case 28595:
        return "ISO-8859-5";
    case 28596:
        return "ISO-8859-6";
    case 28597:
        return "ISO-8859-7";
    case 28598:
        return "ISO-8859-8";
    case 28599:
        return "ISO-8859-9";
    case 28603:
        return "ISO-8859-13";
    case 28605:
        return "ISO-8859-15";
    default:
        return nullptr;
    }
}

class IconvHandle {
public:
    explicit IconvHandle(const char* from) : handle_(iconv_open("UTF-8", from)) {}
    ~IconvHandle() {
        if (valid()) iconv_close(handle_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

// One pass; an invalid byte is replaced and skipped, an incomplete tail replaced whole.
Decoded convert(iconv_t cd, std::string_view bytes) {
    Decoded result;
    std::string& out = result.utf8;
    out.resize(bytes.size() * 3 / 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t used = 0;
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        used = static_cast<std::size_t>(outPtr - out.data());
        if (rc != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (out.size() - used < sizeof kReplacement) out.resize(out.size() * 2 + 16);
        out.replace(used, 3, kReplacement, 3);
        used += 3;
        const std::size_t skipped = errno == EINVAL ? inLeft : 1;
        result.invalidBytes += skipped;
        in += skipped;
        inLeft -= skipped;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return result;
}

}  // namespace

std::optional<Decoded> decodeCodePage(std::string_view bytes, unsigned codePage) {
    if (codePage == kCodePageUtf8) {
        Decoded result;
        result.invalidBytes = appendRepairedUtf8(bytes, result.utf8);
        return result;
    }
    const char* name = iconvName(codePage);
    if (name == nullptr) return std::nullopt;
    IconvHandle cd(name);
    if (!cd.valid()) return std::nullopt;
    return convert(cd.get(), bytes);
}

unsigned fallbackCodePage() { return kCodePageGb18030; }

std::string fileNameToUtf8(std::string_view name) {
    std::string out;
    appendRepairedUtf8(name, out);
    return out;
}

std::string utf8ToFileName(std::string_view name) { return std::string(name); }

std::string utf8ToConsole(std::string_view text) { return std::string(text); }

}  // namespace platform
