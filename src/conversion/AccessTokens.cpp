// Access SQL text as tokens; date literals and Like patterns.

#include "AccessExpression.h"

#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

namespace qb::accesssql {

// #m/d/y [h:mm[:ss] [AM|PM]]#, #y-m-d ...# or a time alone, as the ISO text
// the converted tables hold.
std::string isoDate(const std::string& written) {
    int a = 0, b = 0, c = 0, h = 0, mi = 0, s = 0, used = 0;
    std::string rest = written;
    bool hasDate = false;
    int year = 0, month = 0, day = 0;
    if (std::sscanf(rest.c_str(), " %d-%d-%d%n", &a, &b, &c, &used) == 3) {
        year = a, month = b, day = c, hasDate = true;
    } else if (std::sscanf(rest.c_str(), " %d/%d/%d%n", &a, &b, &c, &used) == 3) {
        month = a, day = b, year = c, hasDate = true;
        // Two-digit years as Access reads them: 00-29 this century, 30-99 the last.
        const std::string head = rest.substr(0, static_cast<std::size_t>(used));
        const std::string yearText = QString::fromStdString(head.substr(head.rfind('/') + 1)).trimmed().toStdString();
        if (yearText.size() <= 2) year += year < 30 ? 2000 : 1900;
    }
    if (hasDate) rest = rest.substr(static_cast<std::size_t>(used));
    bool hasTime = false;
    if (std::sscanf(rest.c_str(), " %d:%d%n", &h, &mi, &used) == 2) {
        hasTime = true;
        rest = rest.substr(static_cast<std::size_t>(used));
        if (std::sscanf(rest.c_str(), ":%d%n", &s, &used) == 1) rest = rest.substr(static_cast<std::size_t>(used));
        const std::string marker = lower(QString::fromStdString(rest).trimmed().toStdString());
        if (marker == "pm" && h < 12) h += 12;
        else if (marker == "am" && h == 12) h = 0;
        else if (!marker.empty() && marker != "am" && marker != "pm") refuse("the date #" + written + "#");
    } else if (!QString::fromStdString(rest).trimmed().isEmpty()) {
        refuse("the date #" + written + "#");
    }
    if ((!hasDate && !hasTime) || (hasDate && (month < 1 || month > 12 || day < 1 || day > 31 || year < 100)) ||
        h > 23 || mi > 59 || s > 59)
        refuse("the date #" + written + "#");
    char buf[64];
    if (!hasDate) std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
    else if (h == 0 && mi == 0 && s == 0) std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    else std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, h, mi, s);
    return buf;
}

// An Access Like pattern as a GLOB pattern over lower-cased text.
std::string globPattern(const std::string& like) {
    std::string out;
    const std::string p = lower(like);
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '#') {
            out += "[0-9]";
        } else if (c == '[') {
            const auto close = p.find(']', i + 1);
            if (close == std::string::npos) refuse("the Like pattern \"" + like + "\"");
            std::string set = p.substr(i + 1, close - i - 1);
            if (!set.empty() && set[0] == '!') set[0] = '^';
            if (set.empty()) refuse("the Like pattern \"" + like + "\"");
            out += "[" + set + "]";
            i = close;
        } else {
            out += c;  // * and ? mean the same in GLOB
        }
    }
    return out;
}

thread_local int Nesting::depth_ = 0;

Nesting::Nesting() {
    if (++depth_ > 200) {
        --depth_;
        refuse("expressions nested too deeply");
    }
}

bool Token::is(const char* word) const {
    return (kind == Op || (kind == Name && !bracketed)) && equalsNoCase(text, word);
}

std::vector<Token> tokenize(const std::string& s) {
    std::vector<Token> out;
    std::size_t i = 0;
    auto push = [&](Token::Kind k, std::string text, bool bracketed = false) {
        Token t;
        t.kind = k;
        t.text = std::move(text);
        t.bracketed = bracketed;
        out.push_back(std::move(t));
    };
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (std::isspace(c) || c == 0) {
            ++i;
        } else if (std::isdigit(c) ||
                   (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            std::size_t j = i;
            while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
            if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
                ++j;
                if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
                while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
            }
            push(Token::Number, s.substr(i, j - i));
            i = j;
        } else if (c == '"' || c == '\'') {
            std::string text;
            std::size_t j = i + 1;
            for (;; ++j) {
                if (j >= s.size()) refuse("an unterminated text");
                if (s[j] == static_cast<char>(c)) {
                    if (j + 1 < s.size() && s[j + 1] == static_cast<char>(c)) {
                        text += s[j++];
                        continue;
                    }
                    break;
                }
                text += s[j];
            }
            push(Token::String, text);
            i = j + 1;
        } else if (c == '#') {
            const auto end = s.find('#', i + 1);
            if (end == std::string::npos) refuse("an unterminated date");
            push(Token::Date, s.substr(i + 1, end - i - 1));
            i = end + 1;
        } else if (c == '[') {
            const auto end = s.find(']', i + 1);
            if (end == std::string::npos) refuse("an unterminated [name]");
            push(Token::Name, s.substr(i + 1, end - i - 1), true);
            i = end + 1;
        } else if (std::isalpha(c) || c == '_' || c >= 0x80) {
            std::size_t j = i;
            while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_' ||
                                    static_cast<unsigned char>(s[j]) >= 0x80))
                ++j;
            push(Token::Name, s.substr(i, j - i));
            i = j;
        } else {
            static const char* const two[] = {"<>", "<=", ">="};
            std::string op(1, static_cast<char>(c));
            for (const char* t : two)
                if (s.compare(i, 2, t) == 0) op = t;
            if (std::string("+-*/\\^&=<>(),.!;").find(static_cast<char>(c)) == std::string::npos)
                refuse(std::isprint(c) ? std::string("the character '") + static_cast<char>(c) + "'"
                                       : "the character " + std::to_string(c));
            push(Token::Op, op);
            i += op.size();
        }
    }
    push(Token::End, "");
    return out;
}

}  // namespace qb::accesssql
