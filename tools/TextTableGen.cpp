// Turns the text table (already converted to code page 932) into a C++ header:
// every "Name<TAB>text" line becomes `inline constexpr std::string_view Name`
// whose bytes are written as hexadecimal escapes, so the header is plain ASCII.
// Lines that are empty or begin with '#' are skipped.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: TextTableGen table.cp932 header.h source-table\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << argv[1] << "\n";
        return 1;
    }
    std::ostringstream header;
    header << "// Generated from " << argv[3] << "; do not edit.\n"
           << "#pragma once\n#include <string_view>\n\nnamespace Texts {\n"
           << "using namespace std::string_view_literals;\n";
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
            std::cerr << argv[1] << ":" << lineNumber << ": expected name<TAB>text\n";
            return 1;
        }
        header << "inline constexpr std::string_view " << line.substr(0, tab) << " = "
               << CxxLiteral(Unescape(line.substr(tab + 1))) << "sv;\n";
    }
    header << "}  // namespace Texts\n";
    std::ofstream out(argv[2], std::ios::binary);
    out << header.str();
    return out ? 0 : 1;
}
