#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace standin::sql {

enum class Tok { Word, Name, String, Number, Punct, End, Bad };

struct Token {
    Tok kind = Tok::End;
    // Word/Number/Punct: the source text; Name: the name inside [ ] or " ";
    // String: the literal with doubled quotes undone.
    std::string text;
    int line = 1;
};

// Splits a batch into tokens. Comments and all whitespace are skipped. An
// unterminated literal yields a Bad token holding the rest of the text.
std::vector<Token> tokenize(std::string_view sql);

bool keyword_is(const Token& t, std::string_view upper);

} // namespace standin::sql
