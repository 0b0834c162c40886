// SQL batches as the stand-in receives them, after UTF-16 decoding.
#include "FuzzCheck.h"

#include "sql_lexer.hpp"
#include "sql_parser.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

using fuzz::require;
using namespace standin::sql;

namespace {

std::string doubled(const std::string& text, char quote) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == quote) {
            out += c;
        }
    }
    return out;
}

// Every name and literal a statement carries, checking the limits the parser promises.
std::vector<std::string> textsOf(const Statement& statement) {
    std::vector<std::string> texts;
    std::visit(
        [&](const auto& s) {
            using T = std::decay_t<decltype(s)>;
            if constexpr (std::is_same_v<T, SelectDatabases>) {
                if (s.name) {
                    texts.push_back(*s.name);
                }
            } else if constexpr (std::is_same_v<T, FileList>) {
                texts.push_back(s.disk);
            } else if constexpr (std::is_same_v<T, CreateDatabase>) {
                texts.push_back(s.name);
                for (const auto* files : {&s.data, &s.log}) {
                    for (const FileDef& f : *files) {
                        require(f.size_mb >= 1 && f.size_mb <= 1024 * 1024, "file size limits");
                        texts.push_back(f.logical);
                        texts.push_back(f.path);
                    }
                }
            } else if constexpr (std::is_same_v<T, RestoreDatabase>) {
                require(s.stats >= 0 && s.stats <= 100, "STATS is a percentage");
                texts.push_back(s.name);
                texts.push_back(s.disk);
                for (const Move& m : s.moves) {
                    texts.push_back(m.logical);
                    texts.push_back(m.target);
                }
            } else if constexpr (std::is_same_v<T, BackupDatabase>) {
                require(s.stats >= 0 && s.stats <= 100, "STATS is a percentage");
                texts.push_back(s.name);
                texts.push_back(s.disk);
            } else if constexpr (std::is_same_v<T, AttachDb>) {
                require(!s.files.empty() && s.files.size() <= 16,
                        "sp_attach_db takes 1 to 16 files");
                texts.push_back(s.name);
                texts.insert(texts.end(), s.files.begin(), s.files.end());
            } else if constexpr (std::is_same_v<T, DetachDb> || std::is_same_v<T, DropDatabase>) {
                texts.push_back(s.name);
            }
        },
        statement);
    return texts;
}

template <typename T> std::optional<T> parsedAs(const std::string& batch) {
    const auto parsed = parse(batch);
    const auto* statement = std::get_if<Statement>(&parsed);
    const T* s = statement ? std::get_if<T>(statement) : nullptr;
    return s ? std::optional<T>(*s) : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view batch(reinterpret_cast<const char*>(data), size);
    const int lines = 1 + static_cast<int>(std::count(batch.begin(), batch.end(), '\n'));

    const std::vector<Token> tokens = tokenize(batch);
    require(!tokens.empty() && tokens.back().kind == Tok::End, "tokens end with End");
    require(tokens.back().line == lines, "every line break is counted once");
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        const Token& t = tokens[i];
        require(t.kind != Tok::End, "End comes last only");
        require(t.kind != Tok::Bad || i + 2 == tokens.size(), "nothing follows a Bad token");
        require(t.line >= 1 && t.line <= tokens[i + 1].line, "lines never go back");
        require(t.kind != Tok::Punct || t.text.size() == 1, "punctuation is one character");
        require((t.kind != Tok::Word && t.kind != Tok::Number) || !t.text.empty(),
                "words and numbers are not empty");
    }

    const auto parsed = parse(batch);
    if (const auto* error = std::get_if<SyntaxError>(&parsed)) {
        require(error->line >= 1 && error->line <= lines, "an error names a line of the batch");
        return 0;
    }
    const Statement& statement = std::get<Statement>(parsed);
    require(!kind_name(statement).empty(), "every statement has a kind");

    // Any text the parser returns, quoted the way the client quotes, parses back unchanged.
    for (const std::string& text : textsOf(statement)) {
        const auto literal =
            parsedAs<FileList>("RESTORE FILELISTONLY FROM DISK = N'" + doubled(text, '\'') + "'");
        require(literal && literal->disk == text, "a literal round-trips");
        if (!text.empty()) {
            const auto name = parsedAs<DropDatabase>("DROP DATABASE [" + doubled(text, ']') + "]");
            require(name && name->name == text, "a bracketed name round-trips");
        }
    }
    return 0;
}
