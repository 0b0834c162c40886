#pragma once

#include "sql_lexer.hpp"
#include "sql_parser.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace standin::sql {

// Thrown at the first token that does not fit; that token becomes the "near" part of the syntax
// error.
struct Failed {};

// A position in one batch's tokens, for recursive descent.
class TokenCursor {
public:
    explicit TokenCursor(std::vector<Token> toks) : t_(std::move(toks)) {}

    bool at_end() const { return cur().kind == Tok::End; }
    SyntaxError error() const {
        const Token& t = cur();
        if (t.kind == Tok::End && pos_ > 0)
            return {t_[pos_ - 1].line, t_[pos_ - 1].text};
        return {t.line, t.text};
    }

protected:
    const Token& cur() const { return t_[pos_]; }
    void next() {
        if (cur().kind != Tok::End)
            ++pos_;
    }
    [[noreturn]] void fail() const { throw Failed{}; }

    bool accept(std::string_view kw) {
        if (!keyword_is(cur(), kw))
            return false;
        next();
        return true;
    }
    void expect(std::string_view kw) {
        if (!accept(kw))
            fail();
    }
    bool accept_punct(char c) {
        if (cur().kind != Tok::Punct || cur().text[0] != c)
            return false;
        next();
        return true;
    }
    void expect_punct(char c) {
        if (!accept_punct(c))
            fail();
    }
    std::string string() {
        if (cur().kind != Tok::String)
            fail();
        std::string s = cur().text;
        next();
        return s;
    }

    std::vector<Token> t_;
    std::size_t pos_ = 0;
};

} // namespace standin::sql
