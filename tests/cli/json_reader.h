// A strict JSON reader for the tests of `zorv explain --format json`: RFC 8259 and nothing
// more (no trailing commas, no leading zeros, no raw control characters in strings, valid
// UTF-8 only, surrogate escapes only in pairs, no repeated key), so that what it accepts
// any conforming reader accepts too.
#ifndef ZORV_TESTS_CLI_JSON_READER_H
#define ZORV_TESTS_CLI_JSON_READER_H

#include <string>
#include <utility>
#include <vector>

struct Json {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    bool boolean = false;
    std::string number;  // the number's text as written
    std::u32string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> fields;  // in document order; keys in UTF-8

    // The field of that key, or null when the object has none.
    const Json* get(const std::string& key) const;
};

// Reads exactly one document (whitespace around it allowed). Returns false with a message
// naming the offset of the fault.
bool read_json(const std::string& input, Json* out, std::string* error);

#endif
