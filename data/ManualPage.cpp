// Builds the installed manual page: the hand-written page with the program's manual
// (docs/manual, the same Markdown files the help window shows) put in as roff at the
// marker line, one subsection per manual section in the order the contents list them.
//   corvane_manpage PAGE.in MANUAL_FOLDER OUT
// The manual uses a small part of Markdown: one "# " title per file, paragraphs, "- "
// lists (continued by indented lines), **bold**, `code` and [text](link).
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kMarker = ".\\\" @MANUAL@";

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    std::ifstream in(path);
    if (!in) return false;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return true;
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// One line of Markdown text as roff text: backslashes escaped, emphasis as font changes,
// links as their text, and a leading control character made harmless.
std::string Inline(const std::string& text) {
    std::string out;
    bool bold = false, code = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            out += "\\e";
        } else if (c == '*' && i + 1 < text.size() && text[i + 1] == '*') {
            out += bold ? "\\fR" : "\\fB";
            bold = !bold;
            ++i;
        } else if (c == '`') {
            out += code ? "\\fR" : "\\fB";
            code = !code;
        } else if (c == '[') {
            const size_t close = text.find("](", i);
            const size_t end = close == std::string::npos ? close : text.find(')', close);
            if (end == std::string::npos) {
                out += c;
                continue;
            }
            out += Inline(text.substr(i + 1, close - i - 1));
            i = end;
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

// The section files named by the contents' list, in order.
std::vector<std::string> Sections(const std::vector<std::string>& index) {
    std::vector<std::string> files;
    for (const std::string& line : index) {
        const size_t open = line.find("](");
        const size_t close = open == std::string::npos ? open : line.find(')', open);
        if (line.rfind("- [", 0) == 0 && close != std::string::npos)
            files.push_back(line.substr(open + 2, close - open - 2));
    }
    return files;
}

// A section file as roff; intro: the contents page (its title and link list left out).
void Convert(const std::vector<std::string>& md, bool intro, std::ostream& out) {
    enum { None, Paragraph, Item } block = None;
    for (const std::string& raw : md) {
        const std::string line = Trim(raw);
        if (line.empty()) {
            block = None;
        } else if (line.rfind("# ", 0) == 0) {
            if (!intro) out << ".SS \"" << Inline(line.substr(2)) << "\"\n";
            block = None;
        } else if (line.rfind("- ", 0) == 0) {
            if (intro && line.rfind("- [", 0) == 0) continue;
            out << ".IP \\(bu 2\n" << Inline(line.substr(2)) << '\n';
            block = Item;
        } else {
            // An item goes on with indented lines; anything else starts a paragraph.
            if (block == None || (block == Item && raw.rfind("  ", 0) != 0)) {
                out << ".PP\n";
                block = Paragraph;
            }
            out << Inline(line) << '\n';
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: corvane_manpage PAGE.in MANUAL_FOLDER OUT\n";
        return 2;
    }
    std::vector<std::string> page, index;
    const std::string folder = argv[2];
    if (!ReadLines(argv[1], page) || !ReadLines(folder + "/index.md", index)) {
        std::cerr << "corvane_manpage: cannot read " << argv[1] << " or " << folder << "/index.md\n";
        return 1;
    }
    std::ostringstream manual;
    manual << ".SH \"THE WINDOWS\"\n";
    Convert(index, true, manual);
    for (const std::string& file : Sections(index)) {
        std::vector<std::string> md;
        if (!ReadLines(folder + "/" + file, md)) {
            std::cerr << "corvane_manpage: cannot read " << folder << "/" << file << '\n';
            return 1;
        }
        Convert(md, false, manual);
    }
    std::ostringstream result;
    bool placed = false;
    for (const std::string& line : page) {
        if (line == kMarker) {
            result << manual.str();
            placed = true;
        } else {
            result << line << '\n';
        }
    }
    if (!placed) {
        std::cerr << "corvane_manpage: no line " << kMarker << " in " << argv[1] << '\n';
        return 1;
    }
    std::ofstream out(argv[3]);
    out << result.str();
    return out.good() ? 0 : 1;
}
