#include "platform/CodePage.h"
#include "platform/SystemCodePage.h"

#include <iconv.h>

#include <cerrno>
#include <map>

// Code pages through glibc's iconv. Conversions go through UTF-8; descriptors
// are opened once per thread and code page and reset before each use.

namespace {

const char* IconvName(int codePage) {
    switch (codePage) {
        case 437:
            return "CP437";
        case 874:
            return "CP874";
        case 932:
            return "CP932";
        case 936:
            return "CP936";
        case 949:
            return "CP949";
        case 950:
            return "CP950";
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
        case 1361:
            return "CP1361";
        default:
            return nullptr;
    }
}

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

class TDescriptors {
public:
    TDescriptors() = default;
    TDescriptors(const TDescriptors&) = delete;
    TDescriptors& operator=(const TDescriptors&) = delete;
    ~TDescriptors() {
        for (const auto& [key, cd] : FOpen)
            if (cd != kNoDescriptor)
                iconv_close(cd);
    }

    // kNoDescriptor when iconv does not know the code page.
    iconv_t Get(int codePage, bool toUtf8) {
        const auto key = std::make_pair(codePage, toUtf8);
        auto it = FOpen.find(key);
        if (it == FOpen.end()) {
            const char* name = IconvName(codePage);
            iconv_t cd = kNoDescriptor;
            if (name)
                cd = toUtf8 ? iconv_open("UTF-8", name) : iconv_open(name, "UTF-8");
            it = FOpen.emplace(key, cd).first;
        }
        if (it->second != kNoDescriptor)
            iconv(it->second, nullptr, nullptr, nullptr, nullptr);
        return it->second;
    }

private:
    std::map<std::pair<int, bool>, iconv_t> FOpen;
};

iconv_t Descriptor(int codePage, bool toUtf8) {
    thread_local TDescriptors descriptors;
    return descriptors.Get(codePage, toUtf8);
}

// The length of the UTF-8 sequence that `lead` starts (1 for a stray byte).
qsizetype Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// Converts all of `input`; a sequence the source does not define is replaced by
// `replacement` and skipped (one byte, or one UTF-8 character when the source is UTF-8).
QByteArray Convert(iconv_t cd, const QByteArray& input, const QByteArray& replacement, bool sourceIsUtf8) {
    QByteArray output;
    output.resize(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.constData());
    std::size_t inLeft = static_cast<std::size_t>(input.size());
    std::size_t used = 0;
    while (inLeft > 0) {
        char* out = output.data() + used;
        std::size_t outLeft = static_cast<std::size_t>(output.size()) - used;
        const std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
        used = static_cast<std::size_t>(out - output.data());
        if (result != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            output.resize(output.size() * 2);
            continue;
        }
        // EILSEQ, or EINVAL for a sequence cut off at the end.
        std::size_t skip = 1;
        if (sourceIsUtf8)
            skip = std::min<std::size_t>(
                inLeft, static_cast<std::size_t>(Utf8SequenceLength(static_cast<unsigned char>(*in))));
        in += skip;
        inLeft -= skip;
        output.resize(static_cast<qsizetype>(used));
        output += replacement;
        used = static_cast<std::size_t>(output.size());
        output.resize(output.size() * 2 + 16);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush whatever a stateful converter holds back.
    while (true) {
        char* out = output.data() + used;
        std::size_t outLeft = static_cast<std::size_t>(output.size()) - used;
        const std::size_t result = iconv(cd, nullptr, nullptr, &out, &outLeft);
        used = static_cast<std::size_t>(out - output.data());
        if (result != static_cast<std::size_t>(-1) || errno != E2BIG)
            break;
        output.resize(output.size() * 2);
    }
    output.resize(static_cast<qsizetype>(used));
    return output;
}

}  // namespace

bool IsSystemCodePage(int codePage) {
    return codePage != CP_ACP && codePage != CP_UTF8 && Descriptor(codePage, true) != kNoDescriptor;
}

QString DecodeSystemCodePage(const QByteArray& bytes, int codePage) {
    return QString::fromUtf8(
        Convert(Descriptor(codePage, true), bytes, QByteArrayLiteral("\xEF\xBF\xBD"), false));
}

QByteArray EncodeSystemCodePage(const QString& text, int codePage) {
    return Convert(Descriptor(codePage, false), text.toUtf8(), QByteArrayLiteral("?"), true);
}

int SystemAnsiCodePage() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QByteArray value = qgetenv(name);
        if (!value.isEmpty())
            return AnsiCodePageOfLocale(value);
    }
    return 1252;
}
