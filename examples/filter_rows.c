/* filter_rows: the smallest complete host of the zorv library. It opens a kernel of the host
 * runtime, loads the library through it, binds the columns of its own row record, filters an
 * array of rows with a WHERE clause (the first argument, or a default) and prints the rows
 * the clause selects. Build: cc filter_rows.c $(pkg-config --cflags --libs zorv). */
#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <zorv/host.h>    /* the host runtime: kernel and message targets */
#include <zorv/support.h> /* exported helpers: pvMissVal */
#include <zorv/zorv.h>    /* the library's records: ZExt, ZInst, ZNode */

#define NAME_CHARS 8       /* width of the character columns, in characters */
#define UNKNOWN_COLUMN 100 /* our binding callback's status for a name it does not know */

/* The host's row record. Numbers are doubles; character columns are 4-byte characters
 * padded with blanks to the column's width. */
struct Row {
    double price;
    double qty; /* a missing value (pvMissVal) where the quantity is unknown */
    NQWChar name[NAME_CHARS];
    NQWChar city[NAME_CHARS];
};

/* Decodes UTF-8 into at most cap characters and returns how many it wrote. (Malformed bytes
 * are taken as they come, which keeps the example short.) */
static size_t widen(const char* s, NQWChar* out, size_t cap) {
    const unsigned char* p = (const unsigned char*)s;
    size_t n = 0;
    while (*p && n < cap) {
        uint32_t c = *p++;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (more) c &= 0x3Fu >> more;
        while (more-- > 0 && (*p & 0xC0) == 0x80) c = (c << 6) | (*p++ & 0x3Fu);
        out[n++] = c;
    }
    return n;
}

/* Fills a character column: the text, then blanks to the column's width. */
static void put_text(NQWChar* column, const char* text) {
    for (size_t i = widen(text, column, NAME_CHARS); i < NAME_CHARS; ++i) column[i] = U' ';
}

/* The name-binding callback: ZORVResolve calls it once for every column name in the clause
 * (upper-cased, not terminated). It tells the leaf where the value lies in a row and what it
 * is: vlen -8 for a double, else the width in bytes of a character column. A non-zero
 * status refuses the name and ends the resolution with that status. */
static int32_t bind_column(void* context, ZNode* leaf, NQJournal* jnl) {
    static const struct {
        const char* name;
        int32_t offset;
        int16_t vlen;
    } columns[] = {
        {"PRICE", offsetof(struct Row, price), -8},
        {"QTY", offsetof(struct Row, qty), -8},
        {"NAME", offsetof(struct Row, name), 4 * NAME_CHARS},
        {"CITY", offsetof(struct Row, city), 4 * NAME_CHARS},
    };
    (void)context;
    (void)jnl;
    for (size_t i = 0; i < sizeof columns / sizeof columns[0]; ++i) {
        if ((size_t)leaf->u.nm.namelen != strlen(columns[i].name) ||
            memcmp(leaf->u.nm.name, columns[i].name, strlen(columns[i].name)) != 0)
            continue;
        leaf->vlen = columns[i].vlen;
        leaf->u.nm.colw = (int16_t)(columns[i].vlen < 0 ? 8 : columns[i].vlen);
        leaf->u.nm.coloff = columns[i].offset; /* the value is in the row, at this offset */
        leaf->u.nm.colmode = 0;
        leaf->u.nm.fetch = NULL;
        return 0;
    }
    fprintf(stderr, "filter_rows: unknown column '%.*s'\n", leaf->u.nm.namelen, leaf->u.nm.name);
    return UNKNOWN_COLUMN;
}

/* The rows to filter: the host's data, copied into row records by main. */
static const struct {
    const char *name, *city;
    double price, qty; /* qty < 0: unknown */
} data[] = {
    {"Ann", "Oslo", 12.5, 3}, {"Bo", "Cork", 8, -1},     {"Cy", "Boston", 30, 12},
    {"Dee", "Oslo", 5.25, 1}, {"Eve", "Bergen", 99, -1}, {"Finn", "Cork", 15, 7},
};
enum { ROWS = sizeof data / sizeof data[0] };

/* One clause on one instance: parse it, bind its columns (which also optimises the tree),
 * then evaluate it once per row; Eval answers 1 to keep the row, 0 to drop it. Returns 0, or
 * 1 when the clause does not parse or bind (said on stderr by the library or here). */
static int filter(ZInst* inst, NQJournal* jnl, const char* clause, const struct Row* rows) {
    NQWChar text[1024]; /* a clause of fewer bytes than this has fewer characters */
    if (strlen(clause) >= sizeof text / sizeof text[0]) {
        fprintf(stderr, "filter_rows: the clause is too long for this example\n");
        return 1;
    }
    const size_t length = widen(clause, text, sizeof text / sizeof text[0]);
    if (inst->Parse(inst, text, (int32_t)length, jnl) != 0) return 1;
    const int32_t bound = inst->Resolve(inst, jnl, bind_column, NULL);
    if (bound != 0) {
        if (bound != UNKNOWN_COLUMN) /* ZORV_RESOLVE_* in zorv/zorv.h: operands of a wrong kind */
            fprintf(stderr, "filter_rows: cannot bind the clause (status %d)\n", (int)bound);
        return 1;
    }
    printf("rows where %s:\n", clause);
    for (size_t i = 0; i < ROWS; ++i) {
        if (inst->Eval(inst, &rows[i], NULL, NULL) != 1) continue;
        printf("%-6s %-8s %7.2f ", data[i].name, data[i].city, rows[i].price);
        if (isnan(rows[i].qty)) /* missing values are NaN patterns */
            printf("%4s\n", ".");
        else
            printf("%4.0f\n", rows[i].qty);
    }
    return 0;
}

int main(int argc, char** argv) {
    const char* clause = argc > 1 ? argv[1] : "price > 10 AND city IN ('Oslo', 'Cork')";
    struct Row rows[ROWS];
    for (size_t i = 0; i < ROWS; ++i) {
        rows[i].price = data[i].price;
        rows[i].qty = data[i].qty < 0 ? pvMissVal('.') : data[i].qty;
        put_text(rows[i].name, data[i].name);
        put_text(rows[i].city, data[i].city);
    }

    /* The host runtime: a message target (output to stdout, errors to stderr) and a kernel
     * that finds the library and its extensions where zorv was installed. Then the library,
     * loaded by name, and one instance, which holds one clause at a time. */
    NQJournal* jnl = zhost_open_stream_journal(stdout, stderr);
    NQKernel* kernel = jnl ? zhost_open_kernel(NULL) : NULL;
    ZExt* ext = kernel ? (ZExt*)kernel->LoadExtension(kernel, U"zorv", 4, jnl) : NULL;
    const uintptr_t options[2] = {0, 0}; /* no traces, no collating service */
    ZInst* inst = ext ? ext->Create(ext, options, jnl, "filter_rows") : NULL;
    int status = 2;
    if (inst)
        status = filter(inst, jnl, clause, rows);
    else
        fprintf(stderr, "filter_rows: cannot start the zorv library\n");

    /* Everything in the reverse order of making. */
    if (inst) inst->Destroy(inst);
    if (ext) ext->RealDestroy(ext);
    if (kernel) zhost_close_kernel(kernel);
    if (jnl) zhost_close_journal(jnl);
    return status;
}
