// Turns a text table into a C++ header that holds it in both encodings the server
// writes: a struct T<Stem> with one std::string_view member per "Name<TAB>text" line,
// its two values <Stem>::Cp932 and <Stem>::Utf8, and Texts::<Name> for the code page
// 932 text. The table comes twice, as written (UTF-8) and converted to code page 932,
// line for line. Bytes are written as hexadecimal escapes, so the header is plain
// ASCII. Lines that are empty or begin with '#' are skipped.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            default:
                out += text[i];
                break;
        }
    }
    return out;
}

std::string CxxLiteral(const std::string& bytes) {
    std::string out = "\"";
    char escape[8];
    for (unsigned char byte : bytes) {
        std::snprintf(escape, sizeof escape, "\\x%02x", byte);
        out += escape;
        out += "\" \"";  // ends the escape so a following hex digit cannot join it
    }
    return out + "\"";
}

struct TRow {
    std::string Name, Cp932, Utf8;
};

// The rows of a table file; false (after a message) when a line is not name<TAB>text.
bool ReadRows(const char* path, std::vector<std::pair<std::string, std::string>>& rows) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        return false;
    }
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const auto tab = line.find('\t');
        if (tab == std::string::npos || tab == 0) {
            std::cerr << path << ":" << lineNumber << ": expected name<TAB>text\n";
            return false;
        }
        rows.emplace_back(line.substr(0, tab), Unescape(line.substr(tab + 1)));
    }
    return true;
}

void WriteValue(std::ostringstream& header, const char* name, const std::vector<TRow>& rows,
                std::string TRow::*text) {
    header << "inline constexpr T" << name << " " << (text == &TRow::Cp932 ? "Cp932" : "Utf8")
           << "{\n";
    for (const TRow& row : rows)
        header << "    ." << row.Name << " = " << CxxLiteral(row.*text) << "sv,\n";
    header << "};\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: TextTableGen table.utf8 table.cp932 header.h source-table\n";
        return 2;
    }
    std::vector<std::pair<std::string, std::string>> utf8, cp932;
    if (!ReadRows(argv[1], utf8) || !ReadRows(argv[2], cp932))
        return 1;
    if (utf8.size() != cp932.size()) {
        std::cerr << argv[2] << ": not line for line the conversion of " << argv[1] << "\n";
        return 1;
    }
    std::vector<TRow> rows;
    for (std::size_t i = 0; i < utf8.size(); ++i)
        rows.push_back({utf8[i].first, cp932[i].second, utf8[i].second});
    std::string stem = argv[3];
    stem = stem.substr(stem.find_last_of('/') + 1);
    stem = stem.substr(0, stem.find('.'));

    std::ostringstream header;
    header << "// Generated from " << argv[4] << "; do not edit.\n"
           << "#pragma once\n#include <string_view>\n\n"
           << "// The texts of the table in one encoding.\nstruct T" << stem << " {\n";
    for (const TRow& row : rows)
        header << "    std::string_view " << row.Name << ";\n";
    header << "};\n\nnamespace " << stem << " {\nusing namespace std::string_view_literals;\n";
    WriteValue(header, stem.c_str(), rows, &TRow::Cp932);
    WriteValue(header, stem.c_str(), rows, &TRow::Utf8);
    header << "}  // namespace " << stem << "\n\n// The code page 932 texts.\nnamespace Texts {\n";
    for (const TRow& row : rows)
        header << "inline constexpr std::string_view " << row.Name << " = " << stem << "::Cp932."
               << row.Name << ";\n";
    header << "}  // namespace Texts\n";
    std::ofstream out(argv[3], std::ios::binary);
    out << header.str();
    return out ? 0 : 1;
}
