#include "daemon/ServiceTexts.h"

std::string FillArguments(std::string_view format,
                          std::initializer_list<std::string_view> arguments) {
    std::string text(format);
    std::size_t index = 0;
    for (const std::string_view argument : arguments) {
        const std::string placeholder = "%" + std::to_string(index++) + ":s";
        const std::size_t at = text.find(placeholder);
        if (at != std::string::npos)
            text.replace(at, placeholder.size(), argument);
    }
    return text;
}
