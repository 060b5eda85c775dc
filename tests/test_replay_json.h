// A strict little JSON reader for the replay tests: keeps the order of object
// keys and the spelling of every number, so a test can check both the layout
// of a trace line and that a float reads back to the exact value.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

struct Json {
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    bool b = false;
    std::string text; // the number as spelled, or the string's contents
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> fields;

    double num() const { return strtod(text.c_str(), nullptr); }
    float f() const { return strtof(text.c_str(), nullptr); }
    long long i() const { return strtoll(text.c_str(), nullptr, 10); }

    const Json& operator[](const char* key) const
    {
        static const Json missing;
        for (const auto& f : fields)
            if (f.first == key) return f.second;
        return missing;
    }
    const Json& operator[](size_t k) const { return items.at(k); }
    const Json& operator[](int k) const { return items.at((size_t)k); }
    bool has(const char* key) const
    {
        for (const auto& f : fields)
            if (f.first == key) return true;
        return false;
    }
};

struct JsonReader {
    const char* p;
    const char* end;

    void blank()
    {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) p++;
    }

    bool literal(const char* word)
    {
        size_t n = strlen(word);
        if ((size_t)(end - p) < n || memcmp(p, word, n) != 0) return false;
        p += n;
        return true;
    }

    bool digits()
    {
        const char* s = p;
        while (p < end && *p >= '0' && *p <= '9') p++;
        return p > s;
    }

    bool number(Json& v)
    {
        const char* s = p;
        if (p < end && *p == '-') p++;
        if (!digits()) return false;
        if (p < end && *p == '.') {
            p++;
            if (!digits()) return false;
        }
        if (p < end && (*p == 'e' || *p == 'E')) {
            p++;
            if (p < end && (*p == '+' || *p == '-')) p++;
            if (!digits()) return false;
        }
        v.type = Json::Number;
        v.text.assign(s, p);
        return true;
    }

    bool string(std::string& out)
    {
        if (p == end || *p != '"') return false;
        p++;
        while (p < end && *p != '"') {
            if (*p == '\\' || (unsigned char)*p < 0x20) return false; // none expected
            out += *p++;
        }
        if (p == end) return false;
        p++;
        return true;
    }

    bool value(Json& v)
    {
        blank();
        if (p == end) return false;
        if (*p == '{') {
            p++;
            v.type = Json::Object;
            blank();
            if (p < end && *p == '}') return ++p, true;
            for (;;) {
                blank();
                std::string key;
                if (!string(key)) return false;
                blank();
                if (p == end || *p++ != ':') return false;
                Json item;
                if (!value(item)) return false;
                v.fields.emplace_back(key, std::move(item));
                blank();
                if (p < end && *p == ',') {
                    p++;
                    continue;
                }
                if (p < end && *p == '}') return ++p, true;
                return false;
            }
        }
        if (*p == '[') {
            p++;
            v.type = Json::Array;
            blank();
            if (p < end && *p == ']') return ++p, true;
            for (;;) {
                Json item;
                if (!value(item)) return false;
                v.items.push_back(std::move(item));
                blank();
                if (p < end && *p == ',') {
                    p++;
                    continue;
                }
                if (p < end && *p == ']') return ++p, true;
                return false;
            }
        }
        if (*p == '"') {
            v.type = Json::String;
            return string(v.text);
        }
        if (literal("true")) return v.type = Json::Bool, v.b = true, true;
        if (literal("false")) return v.type = Json::Bool, v.b = false, true;
        if (literal("null")) return v.type = Json::Null, true;
        return number(v);
    }
};

// Parses one whole document; false on any syntax error or trailing text.
inline bool parseJson(const std::string& s, Json& v)
{
    JsonReader r{s.data(), s.data() + s.size()};
    if (!r.value(v)) return false;
    r.blank();
    return r.p == r.end;
}

inline std::vector<std::string> splitLines(const std::string& s)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < s.size()) {
        size_t nl = s.find('\n', start);
        if (nl == std::string::npos) nl = s.size();
        lines.push_back(s.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}
