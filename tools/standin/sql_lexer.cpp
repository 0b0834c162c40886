#include "sql_lexer.hpp"

#include <cctype>

namespace standin::sql {

namespace {

bool word_start(unsigned char c) {
    return std::isalpha(c) || c == '_' || c == '@' || c == '#' || c >= 0x80;
}
bool word_char(unsigned char c) {
    return word_start(c) || std::isdigit(c) || c == '$';
}

// Reads a quoted run ending at `close`, where a doubled `close` stands for one.
bool quoted(std::string_view s, std::size_t& i, char close, std::string& out, int& line) {
    for (; i < s.size(); ++i) {
        if (s[i] == close) {
            if (i + 1 < s.size() && s[i + 1] == close) {
                out += close;
                ++i;
                continue;
            }
            ++i;
            return true;
        }
        if (s[i] == '\n')
            ++line;
        out += s[i];
    }
    return false;
}

} // namespace

bool keyword_is(const Token& t, std::string_view upper) {
    if (t.kind != Tok::Word || t.text.size() != upper.size())
        return false;
    for (std::size_t i = 0; i < upper.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(t.text[i])) != upper[i])
            return false;
    return true;
}

std::vector<Token> tokenize(std::string_view s) {
    std::vector<Token> out;
    int line = 1;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '\n') {
            ++line;
            ++i;
            continue;
        }
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if (s.substr(i, 2) == "--") {
            while (i < s.size() && s[i] != '\n')
                ++i;
            continue;
        }
        if (s.substr(i, 2) == "/*") {
            const std::size_t end = s.find("*/", i + 2);
            const std::size_t stop = end == std::string_view::npos ? s.size() : end + 2;
            for (; i < stop; ++i)
                if (s[i] == '\n')
                    ++line;
            continue;
        }
        Token t;
        t.line = line;
        const bool national = (c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'';
        if (national || c == '\'' || c == '[' || c == '"') {
            const std::size_t start = i;
            if (national)
                ++i;
            const char open = s[i++];
            const char close = open == '[' ? ']' : open;
            t.kind = open == '\'' ? Tok::String : Tok::Name;
            if (!quoted(s, i, close, t.text, line)) {
                t.kind = Tok::Bad;
                t.text = std::string(s.substr(start));
                out.push_back(t);
                break;
            }
        } else if (word_start(c)) {
            const std::size_t start = i;
            while (i < s.size() && word_char(static_cast<unsigned char>(s[i])))
                ++i;
            t.kind = Tok::Word;
            t.text = std::string(s.substr(start, i - start));
        } else if (std::isdigit(c)) {
            const std::size_t start = i;
            while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
                ++i;
            t.kind = Tok::Number;
            t.text = std::string(s.substr(start, i - start));
        } else {
            t.kind = Tok::Punct;
            t.text = std::string(1, s[i++]);
        }
        out.push_back(t);
    }
    Token end;
    end.kind = Tok::End;
    end.line = line;
    out.push_back(end);
    return out;
}

} // namespace standin::sql
