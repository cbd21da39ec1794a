#include "common/TextEncoding.h"

#include "common/Utf8.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace kartivo {

namespace {

constexpr char32_t Replacement = 0xFFFD;

// The code point at text[pos], U+FFFD for a malformed sequence; advances pos past it.
char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const Utf8Sequence sequence = ReadUtf8Sequence(text.substr(pos));
    pos += sequence.length;
    return sequence.codePoint;
}

// One converter for the whole text; closed when the text is done.
class Cp932Converter {
public:
    Cp932Converter() : handle_(iconv_open("CP932", "UTF-32LE")) {}
    ~Cp932Converter() {
        if (handle_ != reinterpret_cast<iconv_t>(-1)) iconv_close(handle_);
    }
    Cp932Converter(const Cp932Converter&) = delete;
    Cp932Converter& operator=(const Cp932Converter&) = delete;

    std::string Convert(char32_t cp) {
        if (cp < 0x80) return std::string(1, static_cast<char>(cp));
        if (handle_ == reinterpret_cast<iconv_t>(-1) || cp == Replacement) return "?";
        std::array<char, 4> in{static_cast<char>(cp & 0xFF), static_cast<char>(cp >> 8 & 0xFF),
                               static_cast<char>(cp >> 16 & 0xFF), static_cast<char>(cp >> 24 & 0xFF)};
        std::array<char, 8> out{};
        char* inPtr = in.data();
        char* outPtr = out.data();
        std::size_t inLeft = in.size();
        std::size_t outLeft = out.size();
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(handle_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
            outPtr == out.data()) {
            return "?";
        }
        return std::string(out.data(), outPtr);
    }

private:
    iconv_t handle_;
};

}  // namespace

std::string AnsiConverterProblem() {
    const iconv_t handle = iconv_open("CP932", "UTF-32LE");
    if (handle == reinterpret_cast<iconv_t>(-1)) return std::strerror(errno);
    iconv_close(handle);
    return "";
}

std::vector<AnsiCharacter> ToAnsiCharacters(std::string_view utf8) {
    std::vector<AnsiCharacter> result;
    Cp932Converter converter;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        result.push_back({converter.Convert(NextCodePoint(utf8, pos))});
    }
    return result;
}

}  // namespace kartivo
