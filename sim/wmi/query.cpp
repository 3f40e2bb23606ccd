#include "sim/wmi/query.h"

#include "sim/core/text.h"

namespace sim {

namespace {

struct Token {
    enum class Kind { Word, Number, String, Symbol, End } kind = Kind::End;
    std::u16string text;
    std::uint64_t number = 0;
};

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Splits the text into tokens; false on a character or literal WQL does not allow.
bool Tokenize(std::u16string_view s, std::vector<Token>& out) {
    std::size_t i = 0;
    while (i < s.size()) {
        char16_t c = s[i];
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
            ++i;
        } else if (IsLetter(c)) {
            std::size_t j = i;
            while (j < s.size() && (IsLetter(s[j]) || IsDigit(s[j]))) ++j;
            out.push_back({Token::Kind::Word, std::u16string(s.substr(i, j - i)), 0});
            i = j;
        } else if (IsDigit(c)) {
            std::uint64_t value = 0;
            std::size_t j = i;
            for (; j < s.size() && IsDigit(s[j]); ++j) {
                std::uint64_t d = static_cast<std::uint64_t>(s[j] - u'0');
                if (value > (UINT64_MAX - d) / 10) return false;
                value = value * 10 + d;
            }
            if (j < s.size() && IsLetter(s[j])) return false;
            out.push_back({Token::Kind::Number, std::u16string(s.substr(i, j - i)), value});
            i = j;
        } else if (c == u'\'' || c == u'"') {
            std::u16string text;
            std::size_t j = i + 1;
            for (;; ++j) {
                if (j >= s.size()) return false;  // unterminated
                if (s[j] == c) break;
                if (s[j] == u'\\') {
                    if (j + 1 >= s.size()) return false;
                    char16_t e = s[j + 1];
                    if (e != u'\\' && e != u'\'' && e != u'"') return false;
                    text += e;
                    ++j;
                } else {
                    text += s[j];
                }
            }
            out.push_back({Token::Kind::String, std::move(text), 0});
            i = j + 1;
        } else if (c == u'<' && i + 1 < s.size() && s[i + 1] == u'>') {
            out.push_back({Token::Kind::Symbol, u"<>", 0});
            i += 2;
        } else if (c == u'!' && i + 1 < s.size() && s[i + 1] == u'=') {
            out.push_back({Token::Kind::Symbol, u"<>", 0});
            i += 2;
        } else if (c == u'=' || c == u'(' || c == u')' || c == u'*') {
            out.push_back({Token::Kind::Symbol, std::u16string(1, c), 0});
            ++i;
        } else {
            return false;
        }
    }
    out.push_back({});
    return true;
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens)) {}

    std::unique_ptr<WqlQuery> Query() {
        if (!Keyword(u"SELECT") || !Symbol(u"*") || !Keyword(u"FROM")) return nullptr;
        if (Peek().kind != Token::Kind::Word || IsReserved(Peek().text)) return nullptr;
        auto q = std::make_unique<WqlQuery>();
        q->className = Take().text;
        if (Keyword(u"WHERE")) {
            q->where = Or();
            if (!q->where) return nullptr;
        }
        if (Peek().kind != Token::Kind::End) return nullptr;
        return q;
    }

private:
    static bool IsReserved(std::u16string_view w) {
        return EqualsNoCase(w, u"SELECT") || EqualsNoCase(w, u"FROM") || EqualsNoCase(w, u"WHERE") ||
               EqualsNoCase(w, u"AND") || EqualsNoCase(w, u"OR");
    }
    const Token& Peek() const { return t_[pos_]; }
    Token Take() { return t_[pos_ < t_.size() - 1 ? pos_++ : pos_]; }
    bool Keyword(std::u16string_view w) {
        if (Peek().kind == Token::Kind::Word && EqualsNoCase(Peek().text, w)) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Symbol(std::u16string_view s) {
        if (Peek().kind == Token::Kind::Symbol && Peek().text == s) {
            ++pos_;
            return true;
        }
        return false;
    }
    static std::unique_ptr<WqlCondition> Join(WqlCondition::Kind kind, std::unique_ptr<WqlCondition> l,
                                              std::unique_ptr<WqlCondition> r) {
        auto c = std::make_unique<WqlCondition>();
        c->kind = kind;
        c->left = std::move(l);
        c->right = std::move(r);
        return c;
    }
    std::unique_ptr<WqlCondition> Or() {
        auto left = And();
        while (left && Keyword(u"OR")) {
            auto right = And();
            if (!right) return nullptr;
            left = Join(WqlCondition::Kind::Or, std::move(left), std::move(right));
        }
        return left;
    }
    std::unique_ptr<WqlCondition> And() {
        auto left = Factor();
        while (left && Keyword(u"AND")) {
            auto right = Factor();
            if (!right) return nullptr;
            left = Join(WqlCondition::Kind::And, std::move(left), std::move(right));
        }
        return left;
    }
    std::unique_ptr<WqlCondition> Factor() {
        if (Symbol(u"(")) {
            auto inner = Or();
            if (!inner || !Symbol(u")")) return nullptr;
            return inner;
        }
        if (Peek().kind != Token::Kind::Word || IsReserved(Peek().text)) return nullptr;
        auto c = std::make_unique<WqlCondition>();
        c->property = Take().text;
        if (Symbol(u"<>")) {
            c->notEqual = true;
        } else if (!Symbol(u"=")) {
            return nullptr;
        }
        Token literal = Take();
        if (literal.kind == Token::Kind::Number) {
            c->number = literal.number;
        } else if (literal.kind == Token::Kind::String) {
            c->text = std::move(literal.text);
        } else {
            return nullptr;
        }
        return c;
    }

    std::vector<Token> t_;
    std::size_t pos_ = 0;
};

}  // namespace

std::unique_ptr<WqlQuery> ParseWql(std::u16string_view text) {
    std::vector<Token> tokens;
    if (!Tokenize(text, tokens)) return nullptr;
    return Parser(std::move(tokens)).Query();
}

std::optional<bool> Matches(const WqlCondition* where, const WmiInstance& instance) {
    if (where == nullptr) return true;
    if (where->kind != WqlCondition::Kind::Compare) {
        auto l = Matches(where->left.get(), instance);
        auto r = Matches(where->right.get(), instance);
        if (!l || !r) return std::nullopt;
        return where->kind == WqlCondition::Kind::And ? (*l && *r) : (*l || *r);
    }
    const WmiValue* value = instance.Find(where->property);
    if (value == nullptr) return std::nullopt;
    if (value->IsNull()) return false;
    bool equal = false;
    if (where->number) {
        auto n = value->AsNumber();
        if (!n) return std::nullopt;
        equal = *n == *where->number;
    } else {
        const std::u16string* text = value->AsText();
        if (text == nullptr) return std::nullopt;
        equal = EqualsNoCase(*text, where->text);
    }
    return where->notEqual ? !equal : equal;
}

}  // namespace sim
