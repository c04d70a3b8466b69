// The strict JSON reader of the explain tests: recursive descent over the bytes. The
// documents it reads nest a few dozen levels; deeper ones (past 200) are refused.
#include "json_reader.h"

#include "support/utf8.h"

namespace {

class Reader {
  public:
    explicit Reader(const std::string& s) : s_(s) {}

    bool document(Json* out) {
        space();
        if (!value(out, 0)) return false;
        space();
        return pos_ == s_.size() || fault("text after the document");
    }
    std::string error() const { return error_; }

  private:
    bool fault(const std::string& what) {
        if (error_.empty()) error_ = what + " at offset " + std::to_string(pos_);
        return false;
    }
    bool at(char c) const { return pos_ < s_.size() && s_[pos_] == c; }
    bool eat(char c) { return at(c) ? (++pos_, true) : false; }
    void space() {
        while (at(' ') || at('\t') || at('\n') || at('\r')) ++pos_;
    }
    bool word(const char* w) {
        for (const char* p = w; *p; ++p)
            if (!eat(*p)) return fault(std::string("bad literal, expected ") + w);
        return true;
    }
    bool digits() {
        const size_t start = pos_;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
        return pos_ > start || fault("digit expected");
    }

    bool value(Json* out, int depth) {
        if (depth > 200) return fault("nested too deep for this reader");
        if (at('{')) return object(out, depth);
        if (at('[')) return array(out, depth);
        if (at('"')) {
            out->kind = Json::kString;
            return string(&out->text);
        }
        if (at('t') || at('f')) {
            out->kind = Json::kBool;
            out->boolean = at('t');
            return word(at('t') ? "true" : "false");
        }
        if (at('n')) return word("null");
        return number(out);
    }

    bool number(Json* out) {
        const size_t start = pos_;
        eat('-');
        if (!eat('0') && !digits()) return false;
        if (eat('.') && !digits()) return false;
        if (eat('e') || eat('E')) {
            if (!eat('+')) eat('-');
            if (!digits()) return false;
        }
        out->kind = Json::kNumber;
        out->number = s_.substr(start, pos_ - start);
        return true;
    }

    bool hex4(char32_t* unit) {
        *unit = 0;
        for (int i = 0; i < 4; ++i, ++pos_) {
            if (pos_ >= s_.size()) return fault("short \\u escape");
            const char c = s_[pos_];
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0) return fault("bad \\u escape");
            *unit = *unit * 16 + static_cast<char32_t>(d);
        }
        return true;
    }

    bool escape(std::u32string* out) {
        static const std::string kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
        if (pos_ >= s_.size()) return fault("unfinished escape");
        const size_t k = kFrom.find(s_[pos_]);
        if (k != std::string::npos) {
            ++pos_;
            out->push_back(static_cast<char32_t>(kTo[k]));
            return true;
        }
        if (!eat('u')) return fault("bad escape");
        char32_t unit = 0;
        if (!hex4(&unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return fault("lone low surrogate");
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            char32_t low = 0;
            if (!eat('\\') || !eat('u') || !hex4(&low) || low < 0xDC00 || low > 0xDFFF)
                return fault("lone high surrogate");
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        out->push_back(unit);
        return true;
    }

    bool string(std::u32string* out) {
        eat('"');
        for (;;) {
            if (pos_ >= s_.size()) return fault("unterminated string");
            const auto c = static_cast<unsigned char>(s_[pos_]);
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c < 0x20) return fault("raw control character in a string");
            if (c == '\\') {
                ++pos_;
                if (!escape(out)) return false;
                continue;
            }
            const auto* p = reinterpret_cast<const unsigned char*>(s_.data()) + pos_;
            char32_t ch = 0;
            const int len =
                utf8::decode(p, reinterpret_cast<const unsigned char*>(s_.data()) + s_.size(), &ch);
            if (len == 0) return fault("invalid UTF-8");
            out->push_back(ch);
            pos_ += static_cast<size_t>(len);
        }
    }

    bool array(Json* out, int depth) {
        eat('[');
        out->kind = Json::kArray;
        space();
        if (eat(']')) return true;
        for (;;) {
            space();
            out->items.emplace_back();
            if (!value(&out->items.back(), depth + 1)) return false;
            space();
            if (eat(']')) return true;
            if (!eat(',')) return fault("',' or ']' expected");
        }
    }

    bool object(Json* out, int depth) {
        eat('{');
        out->kind = Json::kObject;
        space();
        if (eat('}')) return true;
        for (;;) {
            space();
            if (!at('"')) return fault("key expected");
            std::u32string key;
            if (!string(&key)) return false;
            std::string utf8_key;
            for (const char32_t c : key) {
                char bytes[4];
                utf8_key.append(bytes, static_cast<size_t>(utf8::encode(c, bytes)));
            }
            if (out->get(utf8_key) != nullptr) return fault("repeated key " + utf8_key);
            space();
            if (!eat(':')) return fault("':' expected");
            space();
            out->fields.emplace_back(utf8_key, Json{});
            if (!value(&out->fields.back().second, depth + 1)) return false;
            space();
            if (eat('}')) return true;
            if (!eat(',')) return fault("',' or '}' expected");
        }
    }

    const std::string& s_;
    size_t pos_ = 0;
    std::string error_;
};

}  // namespace

const Json* Json::get(const std::string& key) const {
    for (const auto& [k, v] : fields)
        if (k == key) return &v;
    return nullptr;
}

bool read_json(const std::string& input, Json* out, std::string* error) {
    Reader r(input);
    *out = Json{};
    if (r.document(out)) return true;
    *error = r.error();
    return false;
}
