// Opening the table of a command and telling a user about its columns.
#include "cli/tables.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace zorv::cli {
namespace {

using table::Column;
using table::Kind;

// Where the build found the bundled sample table (the source tree's data/sample.csv).
#ifndef ZORV_SAMPLE_TABLE
#error "ZORV_SAMPLE_TABLE must name the bundled sample table"
#endif

// The bundled sample table: an installed command (<prefix>/bin/zorv) reads the copy installed
// as <prefix>/share/zorv/sample.csv, so that it does not depend on the source tree; the
// command in the build tree, which has no such copy, reads the source tree's.
std::string sample_table() {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string prefix(exe, static_cast<size_t>(n));
        for (int up = 0; up < 2 && prefix.rfind('/') != std::string::npos; ++up)
            prefix.erase(prefix.rfind('/'));  // bin/zorv -> bin -> the prefix
        const std::string installed = prefix + "/share/zorv/sample.csv";
        struct stat st;
        if (::stat(installed.c_str(), &st) == 0) return installed;
    }
    return ZORV_SAMPLE_TABLE;
}

// A column list longer than this is cut in messages; `zorv columns` shows it whole.
constexpr size_t kListedColumns = 30;

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Characters of UTF-8 text, for alignment: continuation bytes take no column.
size_t chars_of(const std::string& s) {
    return static_cast<size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

bool parse_delimiter(const TableChoice& choice, char* delimiter, std::string* error) {
    const std::string& d = choice.delimiter;
    if (!choice.delimiter_given) {
        *delimiter =
            ends_with(choice.input, ".tsv") || ends_with(choice.input, ".TSV") ? '\t' : ',';
        return true;
    }
    const char c = d == "\\t" ? '\t' : d[0];
    const unsigned char u = static_cast<unsigned char>(c);
    if (!d.empty() && (d.size() == 1 || d == "\\t") && u != 0 && u < 0x80 && c != '"' &&
        c != '\r' && c != '\n') {
        *delimiter = c;
        return true;
    }
    *error =
        "--delimiter takes one ASCII character other than a quote or a line end ('\\t' "
        "for a tab), not '" +
        d + "'";
    return false;
}

std::string table_path(const TableChoice& choice) {
    return choice.input.empty() ? sample_table() : choice.input;
}

std::unique_ptr<table::Table> open_table(const TableChoice& choice, std::string* error,
                                         table::TableOptions options) {
    if (!parse_delimiter(choice, &options.delimiter, error)) return nullptr;
    std::string path = choice.input;
    if (path.empty()) {
        path = sample_table();
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            *error =
                "the bundled sample table " + path + " is missing; name a table with --input FILE";
            return nullptr;
        }
    }
    table::TableError failure;
    auto t = table::Table::open(path, options, &failure);
    if (!t) *error = failure.text();
    return t;
}

void print_columns(const table::Table& t, std::FILE* out) {
    size_t name_width = 6;  // "column"
    for (const Column& c : t.columns()) name_width = std::max(name_width, chars_of(c.name));
    name_width = std::min<size_t>(name_width, 40);  // a very long name only pushes its own line
    auto line = [&](const std::string& name, const char* kind, const std::string& width) {
        const size_t pad = name_width > chars_of(name) ? name_width - chars_of(name) : 0;
        std::fprintf(out, "%s%*s  %-9s  %5s\n", name.c_str(), static_cast<int>(pad), "", kind,
                     width.c_str());
    };
    line("column", "kind", "width");
    for (const Column& c : t.columns()) {
        const bool numeric = c.kind == Kind::kNumeric;
        line(c.name, numeric ? "numeric" : "character", numeric ? "-" : std::to_string(c.width));
    }
}

std::string unknown_column_message(const table::Table& t) {
    const std::vector<Column>& columns = t.columns();
    std::string text = "zorv: error: unknown column '" + t.unknown_name() + "'";
    text += table::did_you_mean(table::closest_columns(t.unknown_name(), columns));
    text += "\nzorv: note: " + t.file() + " has the columns ";
    std::vector<std::string> names;
    for (size_t i = 0; i < columns.size() && i < kListedColumns; ++i)
        names.push_back(columns[i].name);
    for (size_t i = 0; i < names.size(); ++i) text += (i > 0 ? ", " : "") + names[i];
    if (columns.size() > kListedColumns)
        text += " and " + std::to_string(columns.size() - kListedColumns) +
                " more (zorv columns lists them all)";
    return text + "\n";
}

}  // namespace zorv::cli
