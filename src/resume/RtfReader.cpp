#include "resume/RtfReader.h"

#include "core/VelmoraError.h"

#include <map>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmora {

namespace {

struct ConverterDeleter {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterDeleter>;

Converter openCodePage(long codePage) {
    std::vector<std::string> names;
    if (codePage == 65001) names = {"UTF-8"};
    else if (codePage == 10000) names = {"macintosh"};
    else if (codePage > 0) {
        std::string n = std::to_string(codePage);
        names = {"windows-" + n, "cp" + n, "ibm-" + n};
    }
    names.push_back("windows-1252");
    for (const auto& name : names) {
        UErrorCode status = U_ZERO_ERROR;
        Converter c(ucnv_open(name.c_str(), &status));
        if (U_SUCCESS(status) && c) return c;
    }
    return nullptr;
}

// Destinations whose content is never body text.
bool isSkippedDestination(std::string_view word) {
    static constexpr std::array<std::string_view, 22> kSkipped = {
        "fonttbl",    "colortbl",   "stylesheet",  "info",          "pict",       "listtable",
        "listoverridetable", "revtbl", "rsidtbl", "generator",     "xmlnstbl",   "themedata",
        "colorschememapping", "datastore", "latentstyles", "filetbl", "objdata", "fldinst",
        "mmathPr",    "pgdsctbl",   "private",    "bkmkstart"};
    for (auto s : kSkipped)
        if (word == s) return true;
    return false;
}

void appendCodePoint(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Two bytes per open group, so that even absurd nesting costs little per brace of input.
struct GroupState {
    bool skip : 1 = false;          // inside a destination without body text
    bool fontTable : 1 = false;     // inside \fonttbl, where \fN \fcharsetM define fonts
    uint8_t unicodeSkip : 6 = 1;    // \ucN: fallback characters after each \uN (0 to 16)
    uint8_t codePageSlot = 0;       // the current font's code page; 0 is the document's (\ansicpg)
};
static_assert(sizeof(GroupState) == 2);

// Windows editors mark non-Latin text by the font's character set, not by \ansicpg.
long codePageOfCharset(long charset) {
    switch (charset) {
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    default: return 0; // ANSI, default, symbol, OEM: the document's code page
    }
}

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) { converters_.push_back(openCodePage(1252)); }

    std::string run() {
        stack_.push_back(GroupState{});
        while (pos_ < in_.size()) {
            char c = in_[pos_++];
            switch (c) {
            case '{':
                openGroup();
                break;
            case '}':
                closeGroup();
                break;
            case '\\':
                controlSequence();
                break;
            case '\r':
            case '\n':
                break; // line breaks in the source are formatting only
            default:
                plainByte(static_cast<unsigned char>(c));
                break;
            }
        }
        flushBytes();
        flushSurrogate();
        return std::move(out_);
    }

private:
    GroupState& state() { return stack_.back(); }

    void openGroup() {
        flushBytes();
        fallbackToSkip_ = 0;
        stack_.push_back(stack_.back());
    }

    void closeGroup() {
        flushBytes();
        fallbackToSkip_ = 0;
        if (stack_.size() > 1) stack_.pop_back();
        // A surplus closing brace is ignored: the text around it is still worth reading.
    }

    // Consumes one fallback character after \uN; true when the character was skipped.
    bool consumeFallback() {
        if (fallbackToSkip_ <= 0) return false;
        --fallbackToSkip_;
        return true;
    }

    void plainByte(unsigned char byte) {
        if (consumeFallback() || state().skip || byte == 0) return;
        if (byte < 0x80) {
            flushBytes();
            emitAscii(static_cast<char>(byte));
        } else {
            bytes_.push_back(static_cast<char>(byte));
        }
    }

    void emitAscii(char c) {
        flushSurrogate();
        out_ += c;
    }

    void emitText(std::string_view s) {
        flushBytes();
        flushSurrogate();
        out_ += s;
    }

    void controlSequence() {
        if (pos_ >= in_.size()) return;
        char c = in_[pos_];
        if (!isAsciiLetter(c)) {
            ++pos_;
            controlSymbol(c);
            return;
        }
        size_t start = pos_;
        while (pos_ < in_.size() && isAsciiLetter(in_[pos_]) && pos_ - start < 32) ++pos_;
        std::string_view word = in_.substr(start, pos_ - start);
        bool hasParam = false;
        long param = 0;
        bool negative = false;
        if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && isDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        size_t digits = 0;
        while (pos_ < in_.size() && isDigit(in_[pos_])) {
            if (digits < 10) param = param * 10 + (in_[pos_] - '0');
            ++digits;
            ++pos_;
        }
        if (digits > 0) {
            hasParam = true;
            if (negative) param = -param;
        }
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_; // the delimiting blank belongs to the word
        controlWord(word, hasParam, param);
    }

    void controlSymbol(char c) {
        if (c == '\'') {
            int hi = pos_ < in_.size() ? hexValue(in_[pos_]) : -1;
            int lo = pos_ + 1 < in_.size() ? hexValue(in_[pos_ + 1]) : -1;
            if (hi < 0 || lo < 0) return;
            pos_ += 2;
            if (consumeFallback() || state().skip) return;
            bytes_.push_back(static_cast<char>(hi * 16 + lo));
            return;
        }
        if (c == '*') {
            // An ignorable destination: we know none whose content is body text.
            state().skip = true;
            return;
        }
        if (consumeFallback() || state().skip) return;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            flushBytes();
            emitAscii(c);
            break;
        case '~':
            emitText("\u00A0");
            break;
        case '_':
            emitText("-");
            break;
        case '\t':
            emitText("\t");
            break;
        case '\n':
        case '\r':
            emitText("\n"); // a backslash before a line break is a paragraph mark
            break;
        default:
            break; // \- (optional hyphen), \| and unknown symbols carry no text
        }
    }

    void controlWord(std::string_view word, bool hasParam, long param) {
        if (word == "bin") {
            // Raw binary data follows; it must never be read as RTF.
            size_t n = hasParam && param > 0 ? static_cast<size_t>(param) : 0;
            pos_ += std::min(n, in_.size() - pos_);
            return;
        }
        if (word == "uc") {
            state().unicodeSkip = static_cast<uint8_t>(hasParam ? std::clamp(param, 0L, 16L) : 1L);
            return;
        }
        if (word == "u" && hasParam) {
            if (state().skip) return;
            flushBytes();
            long unit = param < 0 ? param + 65536 : param;
            emitUtf16(static_cast<char32_t>(unit & 0xFFFF));
            fallbackToSkip_ = state().unicodeSkip;
            return;
        }
        if (consumeFallback()) return;
        if (word == "ansicpg" && hasParam) {
            setCodePage(param);
            return;
        }
        if (word == "mac") return setCodePage(10000);
        if (word == "pc") return setCodePage(437);
        if (word == "pca") return setCodePage(850);
        if (word == "fonttbl") {
            state().skip = true;
            state().fontTable = true;
            return;
        }
        if (state().fontTable) {
            if (word == "f" && hasParam) definingFont_ = param;
            else if (word == "fcharset" && hasParam && fontCharsets_.size() < kMaxFonts)
                fontCharsets_[definingFont_] = param;
            return;
        }
        if (isSkippedDestination(word)) {
            state().skip = true;
            return;
        }
        if (state().skip) return;
        if (word == "f" && hasParam) return selectFont(param);
        if (word == "par" || word == "line" || word == "sect" || word == "page" || word == "row") emitText("\n");
        else if (word == "tab" || word == "cell") emitText("\t");
        else if (word == "emdash") emitText("\u2014");
        else if (word == "endash") emitText("\u2013");
        else if (word == "bullet") emitText("\u2022");
        else if (word == "lquote") emitText("\u2018");
        else if (word == "rquote") emitText("\u2019");
        else if (word == "ldblquote") emitText("\u201C");
        else if (word == "rdblquote") emitText("\u201D");
        else if (word == "emspace" || word == "enspace" || word == "qmspace") emitText(" ");
    }

    void setCodePage(long codePage) {
        flushBytes();
        if (Converter c = openCodePage(codePage)) converters_[0] = std::move(c);
    }

    void selectFont(long font) {
        flushBytes();
        auto it = fontCharsets_.find(font);
        long codePage = it == fontCharsets_.end() ? 0 : codePageOfCharset(it->second);
        if (codePage == 0) {
            state().codePageSlot = 0;
            return;
        }
        for (size_t i = 1; i < slotCodePages_.size(); ++i) {
            if (slotCodePages_[i] == codePage) {
                state().codePageSlot = static_cast<uint8_t>(i);
                return;
            }
        }
        if (slotCodePages_.empty()) slotCodePages_.push_back(0);
        Converter c = openCodePage(codePage);
        if (!c) return;
        slotCodePages_.push_back(codePage);
        converters_.resize(slotCodePages_.size());
        converters_.back() = std::move(c);
        state().codePageSlot = static_cast<uint8_t>(slotCodePages_.size() - 1);
    }

    // \uN gives UTF-16 code units; a character outside the BMP arrives as two of them.
    void emitUtf16(char32_t unit) {
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            flushSurrogate();
            pendingHigh_ = unit;
            return;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF && pendingHigh_) {
            char32_t cp = 0x10000 + ((pendingHigh_ - 0xD800) << 10) + (unit - 0xDC00);
            pendingHigh_ = 0;
            appendCodePoint(out_, cp);
            return;
        }
        flushSurrogate();
        appendCodePoint(out_, unit);
    }

    void flushSurrogate() {
        if (pendingHigh_) {
            pendingHigh_ = 0;
            appendCodePoint(out_, 0xFFFD);
        }
    }

    // Code-page bytes are converted together, so double-byte characters split over two
    // \'hh escapes come out whole.
    void flushBytes() {
        if (bytes_.empty()) return;
        flushSurrogate();
        UConverter* converter = converters_[state().codePageSlot < converters_.size() ? state().codePageSlot : 0].get();
        if (!converter) {
            for (size_t i = 0; i < bytes_.size(); ++i) appendCodePoint(out_, 0xFFFD);
        } else {
            UErrorCode status = U_ZERO_ERROR;
            ucnv_reset(converter);
            icu::UnicodeString s(bytes_.data(), static_cast<int32_t>(bytes_.size()), converter, status);
            if (U_SUCCESS(status)) s.toUTF8String(out_);
            else appendCodePoint(out_, 0xFFFD);
        }
        bytes_.clear();
    }

    std::string_view in_;
    size_t pos_ = 0;
    std::vector<GroupState> stack_;
    long fallbackToSkip_ = 0;
    char32_t pendingHigh_ = 0;
    std::string bytes_;
    std::string out_;
    // Slot 0 is the document's code page; the others are those of fonts in use (at most a
    // handful of distinct character sets exist, so 255 slots never run out).
    std::vector<Converter> converters_;
    std::vector<long> slotCodePages_;
    static constexpr size_t kMaxFonts = 4096;
    std::map<long, long> fontCharsets_;
    long definingFont_ = 0;
};

} // namespace

std::string RtfReader::toPlainText(std::string_view rtf) {
    size_t start = 0;
    if (rtf.substr(0, 3) == "\xEF\xBB\xBF") start = 3;
    while (start < rtf.size() && (rtf[start] == ' ' || rtf[start] == '\t' || rtf[start] == '\r' || rtf[start] == '\n'))
        ++start;
    if (rtf.substr(start, 5) != "{\\rtf") throw VelmoraError("The RTF resume could not be read.");
    return Reader(rtf.substr(start)).run();
}

} // namespace velmora
