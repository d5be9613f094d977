#include "desktop/Cp932Boundary.h"

#include <QList>

#include "platform/TextEncoding.h"

QString TCp932Boundary::Show(std::string_view bytes) {
    const std::string utf8 = platform::Cp932ToUtf8(bytes);
    QString text = QString::fromStdString(utf8);
    if (platform::Utf8ToCp932(utf8) != bytes)
        originals_.insert_or_assign(text, std::string(bytes));
    return text;
}

std::optional<std::string> TCp932Boundary::Take(const QString& text) const {
    if (const auto original = originals_.find(text); original != originals_.end())
        return original->second;
    return platform::Utf8ToCp932(text.toStdString());
}

QString CharactersNotInCp932(const QString& text) {
    if (platform::Utf8ToCp932(text.toStdString()))
        return {};
    QString refused;
    for (const uint codePoint : text.toUcs4()) {
        const char32_t character = codePoint;
        const QString one = QString::fromUcs4(&character, 1);
        if (!refused.contains(one) && !platform::Utf8ToCp932(one.toStdString()))
            refused += one;
    }
    return refused;
}
