#include "platform/TextEncoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

namespace platform {

namespace {

// One conversion descriptor, closed when it goes out of scope.
class TConverter {
  public:
    TConverter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
        if (handle_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~TConverter() { iconv_close(handle_); }
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;

    enum class Stop { Done, Invalid, Incomplete };

    // Converts as much of `input` as it can onto the end of `output`; `input` is left
    // at the first byte that was not converted.
    Stop Convert(std::string_view& input, std::string& output) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state
        char buffer[256];
        while (!input.empty()) {
            char* in = const_cast<char*>(input.data());
            std::size_t inLeft = input.size();
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = iconv(handle_, &in, &inLeft, &out, &outLeft);
            const int error = errno;
            output.append(buffer, static_cast<std::size_t>(out - buffer));
            input.remove_prefix(input.size() - inLeft);
            if (result != static_cast<std::size_t>(-1))
                continue;
            if (error == E2BIG)
                continue;  // the buffer is full; convert the rest
            return error == EINVAL ? Stop::Incomplete : Stop::Invalid;
        }
        return Stop::Done;
    }

  private:
    iconv_t handle_;
};

void AppendEscape(std::string& output, unsigned char byte) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    output += escape;
}

// The whole text converted; nothing when any of it does not convert.
std::optional<std::string> ConvertWhole(const char* to, const char* from, std::string_view text) {
    TConverter converter(to, from);
    std::string result;
    if (converter.Convert(text, result) != TConverter::Stop::Done)
        return std::nullopt;
    return result;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
    TConverter converter("UTF-8", "CP932");
    std::string result;
    result.reserve(cp932.size() * 3 / 2);
    while (converter.Convert(cp932, result) != TConverter::Stop::Done) {
        // One byte that begins no character: show it and go on after it.
        AppendEscape(result, static_cast<unsigned char>(cp932.front()));
        cp932.remove_prefix(1);
    }
    return result;
}

std::optional<std::string> Cp932ToUtf8Exactly(std::string_view cp932) {
    return ConvertWhole("UTF-8", "CP932", cp932);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    return ConvertWhole("CP932", "UTF-8", utf8);
}

}  // namespace platform
